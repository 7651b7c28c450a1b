// Attention identifiers: the keys that hand the screen to the host. Each
// carries the AID byte of the inbound data stream. Clear, the PA keys, Attn
// and System Request send no field data ("short read").
package com.ombrel.eQintra.emulator;

public enum Aid {
    ENTER(0x7D), CLEAR(0x6D),
    PA1(0x6C), PA2(0x6E), PA3(0x6B),
    PF1(0xF1), PF2(0xF2), PF3(0xF3), PF4(0xF4), PF5(0xF5), PF6(0xF6),
    PF7(0xF7), PF8(0xF8), PF9(0xF9), PF10(0x7A), PF11(0x7B), PF12(0x7C),
    PF13(0xC1), PF14(0xC2), PF15(0xC3), PF16(0xC4), PF17(0xC5), PF18(0xC6),
    PF19(0xC7), PF20(0xC8), PF21(0xC9), PF22(0x4A), PF23(0x4B), PF24(0x4C),
    SYSREQ(0xF0), ATTN(0x00);

    private final int code;

    Aid(int code) {
        this.code = code;
    }

    /** The AID byte as the data stream carries it (Attn has none and answers 0). */
    public int code() {
        return code;
    }

    /** True for the keys that send no field data. */
    public boolean isShortRead() {
        return switch (this) {
            case CLEAR, PA1, PA2, PA3, SYSREQ, ATTN -> true;
            default -> false;
        };
    }

    /** PF1 to PF24 by number. @throws IllegalArgumentException outside 1..24 */
    public static Aid pf(int number) {
        if (number < 1 || number > 24) {
            throw new IllegalArgumentException("no PF" + number);
        }
        return values()[PF1.ordinal() + number - 1];
    }
}
