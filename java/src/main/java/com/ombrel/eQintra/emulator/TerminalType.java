// The kind of display station a session emulates. Both are block-mode
// stations with the same screen and field model; they differ in the keys
// their keyboards have (PA keys, cursor select and field mark on one; field
// exit, field plus and minus, help and the roll keys on the other). A key
// the station lacks does nothing but show "minus function" in the OIA, as
// pressing an unassigned key does on the real station.
package com.ombrel.eQintra.emulator;

import java.util.Locale;

public enum TerminalType {
    T3270("3270"),
    T5250("5250");

    private final String text;

    TerminalType(String text) {
        this.text = text;
    }

    /** The type as written in profiles ("terminal=5250"). */
    public String text() {
        return text;
    }

    /** @throws IllegalArgumentException for a type other than 3270 and 5250 */
    public static TerminalType ofText(String value) {
        for (TerminalType type : values()) {
            if (type.text.equals(value.strip().toLowerCase(Locale.ROOT))) {
                return type;
            }
        }
        throw new IllegalArgumentException("terminal must be 3270 or 5250, not \"" + value + "\"");
    }
}
