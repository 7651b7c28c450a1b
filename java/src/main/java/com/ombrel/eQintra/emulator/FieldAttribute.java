// The field attribute byte that the host places at the first position of
// each field. The bit layout is the one the automation interfaces report
// through Query Field Attribute: the two high bits are always set, the low
// six bits describe the field.
package com.ombrel.eQintra.emulator;

public record FieldAttribute(int bits) {

    /** Always set in the reported attribute byte. */
    public static final int MARKER = 0xC0;
    public static final int PROTECTED = 0x20;
    public static final int NUMERIC = 0x10;
    /** Two display bits: 00 normal, 01 normal and pen-detectable, 10 intensified, 11 non-display. */
    public static final int DISPLAY_MASK = 0x0C;
    public static final int DISPLAY_INTENSIFIED = 0x08;
    public static final int DISPLAY_NONE = 0x0C;
    /** Modified-data tag: set by the keyboard when the operator changes the field. */
    public static final int MODIFIED = 0x01;
    /**
     * Signed numeric: the field's last position holds the sign, which the
     * field exit keys set. The station's field format keeps it; the
     * reported byte does not carry it.
     */
    public static final int SIGNED_NUMERIC = 0x100;
    private static final int REPORTED = 0x3F;

    public static final FieldAttribute UNPROTECTED = new FieldAttribute(0);
    public static final FieldAttribute PROTECTED_TEXT = new FieldAttribute(PROTECTED);
    /** Protected and numeric: the cursor skips over such fields. */
    public static final FieldAttribute SKIP = new FieldAttribute(PROTECTED | NUMERIC);

    public FieldAttribute {
        bits &= REPORTED | SIGNED_NUMERIC;
    }

    /** Builds an attribute from a byte as the automation interfaces report it. */
    public static FieldAttribute fromByte(int value) {
        return new FieldAttribute(value & REPORTED);
    }

    public int toByte() {
        return MARKER | (bits & REPORTED);
    }

    public boolean isProtected() {
        return (bits & PROTECTED) != 0;
    }

    public boolean isNumeric() {
        return (bits & NUMERIC) != 0;
    }

    public boolean isSkip() {
        return isProtected() && isNumeric();
    }

    public boolean isIntensified() {
        return (bits & DISPLAY_MASK) == DISPLAY_INTENSIFIED;
    }

    public boolean isNonDisplay() {
        return (bits & DISPLAY_MASK) == DISPLAY_NONE;
    }

    public boolean isSignedNumeric() {
        return (bits & SIGNED_NUMERIC) != 0;
    }

    /** Detectable by the selector pen (and cursor select): displayed normal-detectable or intensified. */
    public boolean isDetectable() {
        int display = bits & DISPLAY_MASK;
        return display == 0x04 || display == DISPLAY_INTENSIFIED;
    }

    public boolean isModified() {
        return (bits & MODIFIED) != 0;
    }

    public FieldAttribute numeric() {
        return new FieldAttribute(bits | NUMERIC);
    }

    /** Numeric with the sign in the last position. */
    public FieldAttribute signedNumeric() {
        return new FieldAttribute(bits | NUMERIC | SIGNED_NUMERIC);
    }

    public FieldAttribute intensified() {
        return new FieldAttribute((bits & ~DISPLAY_MASK) | DISPLAY_INTENSIFIED);
    }

    public FieldAttribute nonDisplay() {
        return new FieldAttribute((bits & ~DISPLAY_MASK) | DISPLAY_NONE);
    }

    public FieldAttribute withModified(boolean modified) {
        return new FieldAttribute(modified ? bits | MODIFIED : bits & ~MODIFIED);
    }

    @Override
    public String toString() {
        StringBuilder text = new StringBuilder(String.format("%02X", toByte()));
        text.append(isProtected() ? " protected" : " unprotected");
        if (isSignedNumeric()) {
            text.append(" signed");
        }
        if (isNumeric()) {
            text.append(" numeric");
        }
        if (isIntensified()) {
            text.append(" intensified");
        }
        if (isNonDisplay()) {
            text.append(" non-display");
        }
        if (isModified()) {
            text.append(" modified");
        }
        return text.toString();
    }
}
