// Keys that act on the screen locally, without the host.
package com.ombrel.eQintra.emulator;

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
    END_FIELD("[eof]");

    private final String mnemonic;

    EditKey(String mnemonic) {
        this.mnemonic = mnemonic;
    }

    public String mnemonic() {
        return mnemonic;
    }
}
