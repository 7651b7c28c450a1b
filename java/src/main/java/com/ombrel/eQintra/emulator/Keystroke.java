// One keystroke, and the parser for keystroke strings in mnemonic form: plain
// characters stand for themselves, a special key is a bracketed name such as
// "[enter]" or "[pf3]" (case is ignored), and a literal bracket is doubled
// ("[[" and "]]"). A few names stand for two keystrokes ("[enterreset]",
// "[fastleft]").
package com.ombrel.eQintra.emulator;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

public sealed interface Keystroke {

    /** The key text as keystroke listeners see it: a mnemonic, or the character itself. */
    String keyText();

    /** A character key. */
    record Typed(char value) implements Keystroke {
        @Override
        public String keyText() {
            return String.valueOf(value);
        }
    }

    /** A local editing key. */
    record Edit(EditKey key) implements Keystroke {
        @Override
        public String keyText() {
            return key.mnemonic();
        }
    }

    /** An attention key. */
    record Attention(Aid aid) implements Keystroke {
        @Override
        public String keyText() {
            return "[" + aid.name().toLowerCase(Locale.ROOT) + "]";
        }
    }

    /**
     * Parses a keystroke string.
     *
     * @throws IllegalArgumentException for an unknown name or an unclosed bracket;
     *         the message names the offending text
     */
    static List<Keystroke> parse(String text) {
        List<Keystroke> keys = new ArrayList<>();
        int i = 0;
        while (i < text.length()) {
            char c = text.charAt(i);
            if (c == '[' && i + 1 < text.length() && text.charAt(i + 1) == '[') {
                keys.add(new Typed('['));
                i += 2;
            } else if (c == ']' && i + 1 < text.length() && text.charAt(i + 1) == ']') {
                keys.add(new Typed(']'));
                i += 2;
            } else if (c == '[') {
                int close = text.indexOf(']', i);
                if (close < 0) {
                    throw new IllegalArgumentException("unclosed key name at offset " + i + ": " + text.substring(i));
                }
                String name = text.substring(i + 1, close).toLowerCase(Locale.ROOT);
                List<Keystroke> named = Mnemonics.NAMES.get(name);
                if (named == null) {
                    throw new IllegalArgumentException("unknown key [" + name + "]");
                }
                keys.addAll(named);
                i = close + 1;
            } else {
                keys.add(new Typed(c));
                i++;
            }
        }
        return keys;
    }

    /** The names the parser knows. */
    final class Mnemonics {
        static final Map<String, List<Keystroke>> NAMES = build();

        private Mnemonics() {
        }

        private static Map<String, List<Keystroke>> build() {
            Map<String, List<Keystroke>> names = new HashMap<>();
            for (Aid aid : Aid.values()) {
                names.put(aid.name().toLowerCase(Locale.ROOT), List.of(new Attention(aid)));
            }
            for (EditKey key : EditKey.values()) {
                String mnemonic = key.mnemonic();
                names.put(mnemonic.substring(1, mnemonic.length() - 1), List.of(new Edit(key)));
            }
            alias(names, "sys req", "sysreq");
            alias(names, "sys attn", "attn");
            alias(names, "delete char", "delete");
            alias(names, "erase eof", "eraseeof");
            alias(names, "erase input", "erinp");
            alias(names, "end field", "eof");
            alias(names, "instog", "insert");
            // Paging keys are PF7 and PF8 on this kind of display station.
            names.put("pageup", List.of(new Attention(Aid.PF7)));
            names.put("pagedn", List.of(new Attention(Aid.PF8)));
            alias(names, "page up", "pageup");
            alias(names, "page down", "pagedn");
            names.put("space", List.of(new Typed(' ')));
            names.put("enterreset", List.of(new Edit(EditKey.RESET), new Attention(Aid.ENTER)));
            twice(names, EditKey.LEFT, "fastleft", "fast left");
            twice(names, EditKey.RIGHT, "fastright", "fast right");
            twice(names, EditKey.UP, "fastup", "fast up");
            twice(names, EditKey.DOWN, "fastdown", "fast down");
            return Map.copyOf(names);
        }

        private static void alias(Map<String, List<Keystroke>> names, String alias, String name) {
            names.put(alias, names.get(name));
        }

        private static void twice(Map<String, List<Keystroke>> names, EditKey key, String... aliases) {
            for (String alias : aliases) {
                names.put(alias, List.of(new Edit(key), new Edit(key)));
            }
        }
    }
}
