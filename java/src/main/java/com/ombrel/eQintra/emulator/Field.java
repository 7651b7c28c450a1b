// One field of a formatted presentation space: the attribute position and
// the character positions that follow it up to the next attribute. A field
// may wrap from the last position of the screen to the first. Positions are
// 1-based. A Field is a snapshot: it does not follow later changes.
package com.ombrel.eQintra.emulator;

public record Field(int attributePosition, int start, int length, FieldAttribute attribute, int screenSize) {

    /** The last character position of the field; the attribute position when the field is empty. */
    public int end() {
        return length == 0 ? attributePosition : wrap(start + length - 1);
    }

    /** True when the position is one of the field's character positions. */
    public boolean contains(int position) {
        return length > 0 && offsetOf(position) < length;
    }

    /** The 0-based offset of a position from the field's start, following the wrap. */
    public int offsetOf(int position) {
        return Math.floorMod(position - start, screenSize);
    }

    /** The position at the given offset from the field's start. */
    public int positionAt(int offset) {
        return wrap(start + offset);
    }

    public boolean isProtected() {
        return attribute.isProtected();
    }

    private int wrap(int position) {
        return Math.floorMod(position - 1, screenSize) + 1;
    }
}
