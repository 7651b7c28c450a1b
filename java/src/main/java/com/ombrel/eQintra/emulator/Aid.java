// Attention identifiers: the keys that hand the screen to the host. Each
// carries the AID byte of the inbound data stream of the station that has
// the key. Clear, the PA keys, Attn, System Request, Test Request, Help and
// Print send no field data ("short read").
package com.ombrel.eQintra.emulator;

import java.util.EnumSet;
import java.util.Locale;
import java.util.Set;

public enum Aid {
    ENTER(0x7D), CLEAR(0x6D),
    PA1(0x6C, TerminalType.T3270), PA2(0x6E, TerminalType.T3270), PA3(0x6B, TerminalType.T3270),
    PF1(0xF1), PF2(0xF2), PF3(0xF3), PF4(0xF4), PF5(0xF5), PF6(0xF6),
    PF7(0xF7), PF8(0xF8), PF9(0xF9), PF10(0x7A), PF11(0x7B), PF12(0x7C),
    PF13(0xC1), PF14(0xC2), PF15(0xC3), PF16(0xC4), PF17(0xC5), PF18(0xC6),
    PF19(0xC7), PF20(0xC8), PF21(0xC9), PF22(0x4A), PF23(0x4B), PF24(0x4C),
    SYSREQ(0xF0), ATTN(0x00),
    /** Cursor select on a selector-pen field whose designator asks for attention. */
    CURSOR_SELECT(0x7E, TerminalType.T3270),
    TEST_REQUEST(0xF0),
    HELP(0xF3, TerminalType.T5250),
    PRINT(0xF6, TerminalType.T5250),
    /** The roll keys of the 5250 station: Roll Down shows earlier lines (Page Up), Roll Up later ones. */
    ROLL_DOWN(0xF4, TerminalType.T5250), ROLL_UP(0xF5, TerminalType.T5250);

    private final int code;
    private final Set<TerminalType> stations;

    Aid(int code) {
        this(code, TerminalType.T3270, TerminalType.T5250);
    }

    Aid(int code, TerminalType first, TerminalType... rest) {
        this.code = code;
        this.stations = EnumSet.of(first, rest);
    }

    /** The AID byte as the data stream carries it (Attn has none and answers 0). */
    public int code() {
        return code;
    }

    /** The key's name in keystroke strings, as keystroke listeners see it. */
    public String mnemonic() {
        return switch (this) {
            case CURSOR_SELECT -> "[cursel]";
            case TEST_REQUEST -> "[test]";
            case ROLL_DOWN -> "[pageup]";
            case ROLL_UP -> "[pagedn]";
            default -> "[" + name().toLowerCase(Locale.ROOT) + "]";
        };
    }

    /** Whether a station of this type has the key. */
    public boolean existsOn(TerminalType type) {
        return stations.contains(type);
    }

    /** True for the keys that send no field data. */
    public boolean isShortRead() {
        return switch (this) {
            case CLEAR, PA1, PA2, PA3, SYSREQ, ATTN, TEST_REQUEST, HELP, PRINT -> true;
            default -> false;
        };
    }

    /** Attn and System Request reach the host also while it is busy with an earlier key. */
    public boolean interruptsHost() {
        return this == ATTN || this == SYSREQ;
    }

    /** PF1 to PF24 by number. @throws IllegalArgumentException outside 1..24 */
    public static Aid pf(int number) {
        if (number < 1 || number > 24) {
            throw new IllegalArgumentException("no PF" + number);
        }
        return values()[PF1.ordinal() + number - 1];
    }
}
