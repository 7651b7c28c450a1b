// One keystroke, and the parser for keystroke strings in mnemonic form: plain
// characters stand for themselves, a special key is a bracketed name such as
// "[enter]" or "[pf3]" (case is ignored), and a literal bracket is doubled
// ("[[" and "]]"). A few names stand for two keystrokes ("[enterreset]",
// "[fastleft]"). The names are those of the keystroke table callers'
// escape codes are translated by; names of keys that only other kinds of
// terminal have (the ASCII control keys and application keys of character
// terminals, the double-byte and bidirectional keys) parse as foreign keys,
// which no station here has.
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
            return aid.mnemonic();
        }
    }

    /** A key of another kind of terminal; no station here has it. */
    record Foreign(String name) implements Keystroke {
        @Override
        public String keyText() {
            return "[" + name + "]";
        }
    }

    /** Whether a station of this type has the key. */
    default boolean existsOn(TerminalType type) {
        if (this instanceof Edit edit) {
            return edit.key().existsOn(type);
        }
        if (this instanceof Attention attention) {
            return attention.aid().existsOn(type);
        }
        return this instanceof Typed;
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
        /** Keys of character, double-byte and bidirectional terminals. */
        private static final List<String> FOREIGN = List.of(
                "nul", "soh", "stx", "etx", "eot", "enq", "ack", "bel", "bs", "ht", "lf", "vt", "ff", "cr",
                "so", "si", "dle", "dc1", "dc2", "dc3", "dc4", "nak", "syn", "etb", "can", "em", "sub", "esc",
                "fs", "gs", "rs", "us", "del",
                "vt find", "vt insert", "vt remove", "vt select", "vt prev", "vt next", "vt hold",
                "dispsosi", "gensosi", "dispattr", "fwdchar", "splitbar", "dbcs",
                "screenrev", "bidilayer", "latinlayer", "fldrev", "push", "endpush", "autopush", "autorev",
                "csd", "final", "isolated", "middle", "initial", "fieldshape", "fieldbase", "base", "close",
                "screenrtl", "screenltr");

        static final Map<String, List<Keystroke>> NAMES = build();

        private Mnemonics() {
        }

        private static Map<String, List<Keystroke>> build() {
            Map<String, List<Keystroke>> names = new HashMap<>();
            for (Aid aid : Aid.values()) {
                String mnemonic = aid.mnemonic();
                names.put(mnemonic.substring(1, mnemonic.length() - 1), List.of(new Attention(aid)));
            }
            for (EditKey key : EditKey.values()) {
                String mnemonic = key.mnemonic();
                names.put(mnemonic.substring(1, mnemonic.length() - 1), List.of(new Edit(key)));
            }
            names.put("sys req", List.of(new Attention(Aid.SYSREQ)));
            names.put("sys attn", List.of(new Attention(Aid.ATTN)));
            alias(names, "test request", "test");
            alias(names, "delete char", "delete");
            alias(names, "erase eof", "eraseeof");
            alias(names, "erase input", "erinp");
            alias(names, "end field", "eof");
            alias(names, "instog", "insert");
            alias(names, "crsel", "cursel");
            alias(names, "cursor select", "cursel");
            alias(names, "field mark", "fieldmark");
            alias(names, "tab word", "wordright");
            alias(names, "backtab word", "wordleft");
            alias(names, "worddel", "deleteword");
            alias(names, "delete word", "deleteword");
            alias(names, "device cancel", "devcancel");
            alias(names, "caps lock", "capslock");
            alias(names, "scroll lock", "scrlock");
            alias(names, "num lock", "numlock");
            alias(names, "alt cursor", "altcsr");
            // The print keys of the emulator's menu all make the station's print.
            alias(names, "printps", "print");
            alias(names, "printpc", "print");
            alias(names, "printhost", "print");
            // Paging keys are the roll keys; a station without them pages with PF7 and PF8.
            alias(names, "page up", "pageup");
            alias(names, "page down", "pagedn");
            names.put("space", List.of(new Typed(' ')));
            names.put("enterreset", List.of(new Edit(EditKey.RESET), new Attention(Aid.ENTER)));
            twice(names, EditKey.LEFT, "fastleft", "fast left");
            twice(names, EditKey.RIGHT, "fastright", "fast right");
            twice(names, EditKey.UP, "fastup", "fast up");
            twice(names, EditKey.DOWN, "fastdown", "fast down");
            // The numeric pad types its characters; its Enter is Enter.
            for (char digit = '0'; digit <= '9'; digit++) {
                names.put("keypad" + digit, List.of(new Typed(digit)));
            }
            names.put("keypad-", List.of(new Typed('-')));
            names.put("keypad,", List.of(new Typed(',')));
            names.put("keypad.", List.of(new Typed('.')));
            names.put("keypadenter", List.of(new Attention(Aid.ENTER)));
            for (String name : FOREIGN) {
                names.put(name, List.of(new Foreign(name)));
            }
            for (int n = 1; n <= 4; n++) {
                names.put("vt-pf" + n, List.of(new Foreign("vt-pf" + n)));
            }
            for (int n = 6; n <= 20; n++) {
                names.put("vt user f" + n, List.of(new Foreign("vt user f" + n)));
            }
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
