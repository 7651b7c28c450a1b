// Keys that act on the screen or the keyboard locally, without the host,
// with the stations that have them.
package com.ombrel.eQintra.emulator;

import java.util.EnumSet;
import java.util.Set;

public enum EditKey {
    TAB("[tab]"),
    BACKTAB("[backtab]"),
    HOME("[home]"),
    NEWLINE("[newline]"),
    UP("[up]"),
    DOWN("[down]"),
    LEFT("[left]"),
    RIGHT("[right]"),
    /** Moves the cursor left; it erases nothing. */
    BACKSPACE("[backspace]"),
    DELETE("[delete]"),
    INSERT("[insert]"),
    ERASE_EOF("[eraseeof]"),
    ERASE_INPUT("[erinp]"),
    RESET("[reset]"),
    /** Moves the cursor past the last character of the field. */
    END_FIELD("[eof]"),
    /** Fills the field from the cursor with the DUP character and moves to the next field. */
    DUP("[dup]"),
    /** Puts the field-mark character at the cursor. */
    FIELD_MARK("[fieldmark]", TerminalType.T3270),
    /** Selects a selector-pen field at the cursor (its designator '?' turns into '>' and back). */
    CURSOR_SELECT("[cursel]", TerminalType.T3270),
    /** Erases the field from the cursor, right-adjusts a signed numeric field and moves to the next field. */
    FIELD_EXIT("[fldext]", TerminalType.T5250),
    /** Field exit that leaves a signed numeric field positive. */
    FIELD_PLUS("[field+]", TerminalType.T5250),
    /** Field exit that makes a signed numeric field negative; numeric fields only. */
    FIELD_MINUS("[field-]", TerminalType.T5250),
    /** Moves the cursor to the first input position of the record (the screen). */
    RECORD_BACKSPACE("[rcdbacksp]", TerminalType.T5250),
    /** The next two hexadecimal digits typed form one character. */
    HEX("[hex]", TerminalType.T5250),
    CAPS_LOCK("[capslock]"),
    WORD_RIGHT("[wordright]"),
    WORD_LEFT("[wordleft]"),
    DELETE_WORD("[deleteword]"),
    // Keys that work on the station but leave the screen as it is: a local
    // copy to the printer, cancelling it, the jump to another session, the
    // cursor shape and the lock keys of the keyboard.
    PRINT_LOCAL("[print]"),
    DEVICE_CANCEL("[devcancel]"),
    JUMP("[jump]"),
    ALT_CURSOR("[altcsr]", TerminalType.T3270),
    SCROLL_LOCK("[scrlock]"),
    NUM_LOCK("[numlock]"),
    // Colour and highlighting of the characters typed next (a colour
    // display station's keyboard).
    REVERSE_VIDEO("[revvideo]", TerminalType.T3270),
    UNDERSCORE("[underscr]", TerminalType.T3270),
    RESET_VIDEO("[rstvideo]", TerminalType.T3270),
    RESET_COLOR("[rstcolor]", TerminalType.T3270),
    RED("[red]", TerminalType.T3270),
    PINK("[pink]", TerminalType.T3270),
    GREEN("[green]", TerminalType.T3270),
    YELLOW("[yellow]", TerminalType.T3270),
    BLUE("[blue]", TerminalType.T3270),
    TURQUOISE("[turq]", TerminalType.T3270),
    WHITE("[white]", TerminalType.T3270);

    private final String mnemonic;
    private final Set<TerminalType> stations;

    EditKey(String mnemonic) {
        this(mnemonic, TerminalType.T3270, TerminalType.T5250);
    }

    EditKey(String mnemonic, TerminalType first, TerminalType... rest) {
        this.mnemonic = mnemonic;
        this.stations = EnumSet.of(first, rest);
    }

    public String mnemonic() {
        return mnemonic;
    }

    /** Whether a station of this type has the key. */
    public boolean existsOn(TerminalType type) {
        return stations.contains(type);
    }

    /** True for the keys that work while input is inhibited: they change no screen position. */
    boolean worksWhileInhibited() {
        return this == RESET || this == INSERT || this == CAPS_LOCK || this == DEVICE_CANCEL || this == JUMP
                || this == ALT_CURSOR || this == SCROLL_LOCK || this == NUM_LOCK || this == PRINT_LOCAL;
    }
}
