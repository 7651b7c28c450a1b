// The presentation space of one session: the screen buffer of a block-mode
// display station. It holds one display character per position (UTF-16, 0
// for a null), the field attributes the host placed, an optional extended
// attribute byte per position (colour and highlighting) and the cursor.
//
// The single-byte copies that automation callers read carry Latin-1; a
// character outside it shows there as '?', and the Unicode copy carries it
// as it is. The DUP and field-mark characters the keyboard stores show as
// '*' and ';'.
//
// The screen has the size of its terminal model, and may be switched to an
// alternate size by the host (an erase that names the size); the next plain
// erase brings the model's size back.
//
// Positions are 1-based and run row by row: position = (row - 1) * columns
// + column, with rows and columns counted from 1, as the automation
// interfaces use them. An attribute position shows as a blank and belongs to
// the field it starts; the field's characters run to the next attribute,
// wrapping from the last position to the first.
//
// Every method is thread-safe; the object's monitor is the session's screen
// lock, which the keyboard and the host link also take for compound work.
package com.ombrel.eQintra.emulator;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Optional;

public final class PresentationSpace {

    /** The stored characters of the DUP and field-mark keys. */
    public static final char DUP = 0x1C;
    public static final char FIELD_MARK = 0x1E;
    /** What a character outside Latin-1 shows as in the single-byte copies. */
    public static final byte SUBSTITUTE = '?';

    private final TerminalModel model;
    private int rows;
    private int columns;
    private int size;
    private char[] characters;
    private FieldAttribute[] attributes;
    private byte[] extended;
    private int attributeCount;
    private int cursor = 1;
    private long version;
    // The last full-screen copy, its options and the version it shows.
    private byte[] rendered;
    private CopyOptions renderedOptions;
    private long renderedVersion;

    public PresentationSpace(TerminalModel model) {
        this.model = model;
        allocate(model.rows(), model.columns());
    }

    private void allocate(int rows, int columns) {
        this.rows = rows;
        this.columns = columns;
        this.size = rows * columns;
        this.characters = new char[size];
        this.attributes = new FieldAttribute[size];
        this.extended = new byte[size];
    }

    // ---- geometry -------------------------------------------------------

    public TerminalModel model() {
        return model;
    }

    public synchronized int rows() {
        return rows;
    }

    public synchronized int columns() {
        return columns;
    }

    public synchronized int size() {
        return size;
    }

    public synchronized boolean isValidPosition(int position) {
        return position >= 1 && position <= size;
    }

    /** The position of a 1-based row and column, or -1 when either is off the screen. */
    public synchronized int position(int row, int column) {
        if (row < 1 || row > rows || column < 1 || column > columns) {
            return -1;
        }
        return (row - 1) * columns + column;
    }

    /** The 1-based row of a position. @throws IllegalArgumentException for a position off the screen */
    public synchronized int rowOf(int position) {
        checkPosition(position);
        return (position - 1) / columns + 1;
    }

    /** The 1-based column of a position. @throws IllegalArgumentException for a position off the screen */
    public synchronized int columnOf(int position) {
        checkPosition(position);
        return (position - 1) % columns + 1;
    }

    // ---- cursor and version ---------------------------------------------

    public synchronized int cursor() {
        return cursor;
    }

    /** @throws IllegalArgumentException for a position off the screen */
    public synchronized void setCursor(int position) {
        checkPosition(position);
        cursor = position;
    }

    /** Grows with every change of characters or attributes (not with cursor moves). */
    public synchronized long version() {
        return version;
    }

    // ---- host writes ----------------------------------------------------

    /** Clears the screen to nulls, removes every field and homes the cursor. */
    public synchronized void eraseAll() {
        eraseAll(model.rows(), model.columns());
    }

    /**
     * As {@link #eraseAll()}, giving the screen a size: the host's erase to
     * the alternate size. Listeners see a size change as a screen change.
     *
     * @throws IllegalArgumentException for a size outside 1..255 rows or columns
     */
    public synchronized void eraseAll(int newRows, int newColumns) {
        if (newRows < 1 || newRows > 255 || newColumns < 1 || newColumns > 255) {
            throw new IllegalArgumentException("no screen of " + newRows + "x" + newColumns);
        }
        if (newRows != rows || newColumns != columns) {
            allocate(newRows, newColumns);
            rendered = null;
        }
        Arrays.fill(characters, (char) 0);
        Arrays.fill(attributes, null);
        Arrays.fill(extended, (byte) 0);
        attributeCount = 0;
        cursor = 1;
        version++;
    }

    /** Places a field attribute at a position; the character there becomes part of the attribute. */
    public synchronized void defineField(int position, FieldAttribute attribute) {
        checkPosition(position);
        int index = position - 1;
        if (attributes[index] == null) {
            attributeCount++;
        }
        attributes[index] = attribute;
        characters[index] = 0;
        version++;
    }

    /**
     * Writes text from a position as the host does: protection is not
     * examined and an attribute written over is removed. Text beyond the last
     * position wraps to the first.
     */
    public synchronized void write(int position, String text) {
        checkPosition(position);
        for (int i = 0; i < text.length(); i++) {
            int index = (position - 1 + i) % size;
            if (attributes[index] != null) {
                attributes[index] = null;
                attributeCount--;
            }
            characters[index] = text.charAt(i);
        }
        version++;
    }

    /** Sets the extended attribute byte (colour, highlighting) of a run of positions. */
    public synchronized void setExtendedAttribute(int position, int length, int value) {
        checkPosition(position);
        for (int i = 0; i < length; i++) {
            extended[(position - 1 + i) % size] = (byte) value;
        }
        version++;
    }

    // ---- reading --------------------------------------------------------

    public synchronized boolean isFormatted() {
        return attributeCount > 0;
    }

    public synchronized boolean isAttributePosition(int position) {
        checkPosition(position);
        return attributes[position - 1] != null;
    }

    /** The character at a position as displayed: nulls and attribute positions show as blanks. */
    public synchronized char charAt(int position) {
        checkPosition(position);
        int index = position - 1;
        return attributes[index] != null ? ' ' : displayChar(characters[index]);
    }

    public synchronized int extendedAttributeAt(int position) {
        checkPosition(position);
        return extended[position - 1] & 0xFF;
    }

    /** The screen text of a run of positions, as the operator sees it: non-display fields blank. */
    public synchronized String text(int position, int length) {
        checkPosition(position);
        int count = Math.max(0, Math.min(length, size - position + 1));
        char[] out = new char[count];
        renderCharacters(position, count, CopyOptions.SCREEN_TEXT, out);
        return new String(out);
    }

    /** Whether a run of positions holds a character that the single-byte copies cannot carry. */
    public synchronized boolean holdsWideCharacters(int position, int length) {
        checkPosition(position);
        int count = Math.max(0, Math.min(length, size - position + 1));
        for (int i = 0; i < count; i++) {
            if (characters[position - 1 + i] > 0xFF) {
                return true;
            }
        }
        return false;
    }

    /**
     * The Unicode copy of a run of positions, clipped at the end of the
     * screen: each position as one UTF-16 unit, little-endian, two bytes a
     * position. With attribute bytes an attribute position carries its byte
     * as the unit's value.
     */
    public synchronized byte[] copyUnicode(int position, int length, CopyOptions options) {
        checkPosition(position);
        int count = Math.max(0, Math.min(length, size - position + 1));
        char[] text = new char[count];
        renderCharacters(position, count, options, text);
        byte[] out = new byte[count * 2];
        for (int i = 0; i < count; i++) {
            out[2 * i] = (byte) text[i];
            out[2 * i + 1] = (byte) (text[i] >> 8);
        }
        return out;
    }

    private void renderCharacters(int position, int count, CopyOptions options, char[] out) {
        FieldAttribute current = governingAttribute(position - 1);
        for (int i = 0; i < count; i++) {
            int index = position - 1 + i;
            if (attributes[index] != null) {
                current = attributes[index];
                out[i] = options.attributeBytes() ? (char) current.toByte() : ' ';
            } else if (current != null && current.isNonDisplay() && !options.revealNonDisplay()) {
                out[i] = ' ';
            } else {
                out[i] = displayChar(characters[index]);
            }
        }
    }

    /** The screen text of one 1-based row. */
    public synchronized String rowText(int row) {
        return text(position(row, 1), columns);
    }

    /**
     * Copies a run of positions, clipped at the end of the screen. With
     * extended attributes each character is followed by its extended byte.
     */
    public synchronized byte[] copy(int position, int length, CopyOptions options) {
        checkPosition(position);
        int count = Math.max(0, Math.min(length, size - position + 1));
        byte[] out = new byte[count * (options.extendedAttributes() ? 2 : 1)];
        copy(position, count, options, out);
        return out;
    }

    /**
     * As {@link #copy(int, int, CopyOptions)}, into {@code out} from its
     * start and clipped also at the positions {@code out} has room for.
     * Answers the number of bytes written.
     */
    public synchronized int copy(int position, int length, CopyOptions options, byte[] out) {
        checkPosition(position);
        int stride = options.extendedAttributes() ? 2 : 1;
        int count = Math.max(0, Math.min(Math.min(length, size - position + 1), out.length / stride));
        int bytes = count * stride;
        // Callers read the whole screen far more often than it changes: a
        // full-screen copy is kept and served again until the next change
        // (every change of characters or attributes moves the version).
        boolean kept = rendered != null && renderedVersion == version && renderedOptions.equals(options);
        if (!kept && count == size) {
            if (rendered == null || rendered.length != size * stride) {
                rendered = new byte[size * stride];
            }
            render(1, size, options, rendered);
            renderedVersion = version;
            renderedOptions = options;
            kept = true;
        }
        if (kept) {
            System.arraycopy(rendered, (position - 1) * stride, out, 0, bytes);
        } else {
            render(position, count, options, out);
        }
        return bytes;
    }

    private void render(int position, int count, CopyOptions options, byte[] out) {
        int stride = options.extendedAttributes() ? 2 : 1;
        FieldAttribute current = governingAttribute(position - 1);
        for (int i = 0; i < count; i++) {
            int index = position - 1 + i;
            byte value;
            if (attributes[index] != null) {
                current = attributes[index];
                value = options.attributeBytes() ? (byte) current.toByte() : (byte) ' ';
            } else if (current != null && current.isNonDisplay() && !options.revealNonDisplay()) {
                value = ' ';
            } else {
                char shown = displayChar(characters[index]);
                value = shown > 0xFF ? SUBSTITUTE : (byte) shown;
            }
            out[i * stride] = value;
            if (stride == 2) {
                out[i * stride + 1] = extended[index];
            }
        }
    }

    /**
     * Finds text in the screen text. Forward, the match starts at or after
     * {@code from}; backward, at or before it. Answers the match's position,
     * 0 when there is none.
     */
    public synchronized int search(String text, int from, boolean backward) {
        checkPosition(from);
        if (text.isEmpty()) {
            return 0;
        }
        String screen = text(1, size);
        int found = backward ? screen.lastIndexOf(text, from - 1) : screen.indexOf(text, from - 1);
        return found + 1;
    }

    // ---- fields ---------------------------------------------------------

    /** The field a position belongs to; empty when the screen is unformatted. */
    public synchronized Optional<Field> fieldAt(int position) {
        checkPosition(position);
        int attributeIndex = attributeIndexAtOrBefore(position - 1);
        return attributeIndex < 0 ? Optional.empty() : Optional.of(fieldFromAttribute(attributeIndex));
    }

    /** All fields in the order of their attribute positions. */
    public synchronized List<Field> fields() {
        List<Field> fields = new ArrayList<>(attributeCount);
        for (int index = 0; index < size; index++) {
            if (attributes[index] != null) {
                fields.add(fieldFromAttribute(index));
            }
        }
        return fields;
    }

    public synchronized List<Field> unprotectedFields() {
        return fields().stream().filter(field -> !field.isProtected()).toList();
    }

    public synchronized List<Field> modifiedFields() {
        return fields().stream().filter(field -> field.attribute().isModified()).toList();
    }

    /**
     * Finds the field a selector names relative to a position. Next and
     * previous wrap around the screen and never answer the field the
     * position belongs to.
     */
    public synchronized Optional<Field> findField(FieldSelector selector, int position) {
        Optional<Field> home = fieldAt(position);
        if (home.isEmpty() || selector.direction() == 0) {
            return home;
        }
        List<Field> fields = fields();
        int homeIndex = indexOfField(fields, home.get().attributePosition());
        for (int step = 1; step < fields.size(); step++) {
            Field candidate = fields.get(Math.floorMod(homeIndex + step * selector.direction(), fields.size()));
            if (selector.accepts(candidate.attribute())) {
                return Optional.of(candidate);
            }
        }
        return Optional.empty();
    }

    /**
     * The first character position of the nearest unprotected field that
     * starts after a position, wrapping; the position itself only when no
     * other field qualifies. Empty when there is no unprotected field.
     */
    public synchronized Optional<Integer> nextInputPosition(int position) {
        return nearestInputStart(position, true);
    }

    /** As {@link #nextInputPosition}, searching backwards. */
    public synchronized Optional<Integer> previousInputPosition(int position) {
        return nearestInputStart(position, false);
    }

    /** The start of the first unprotected field on the screen. */
    public synchronized Optional<Integer> firstInputPosition() {
        return nearestInputStart(size, true);
    }

    /**
     * The text of a field. Nulls read as blanks; a non-display field reads
     * as blanks unless revealed.
     */
    public synchronized String fieldText(Field field, boolean revealNonDisplay) {
        StringBuilder text = new StringBuilder(field.length());
        FieldAttribute attribute = attributes[field.attributePosition() - 1];
        boolean hidden = attribute != null && attribute.isNonDisplay() && !revealNonDisplay;
        for (int offset = 0; offset < field.length(); offset++) {
            char value = characters[field.positionAt(offset) - 1];
            text.append(hidden ? ' ' : displayChar(value));
        }
        return text.toString();
    }

    /** The field's characters with nulls left out, as they travel to the host. */
    public synchronized String fieldInput(Field field) {
        StringBuilder text = new StringBuilder(field.length());
        for (int offset = 0; offset < field.length(); offset++) {
            char value = characters[field.positionAt(offset) - 1];
            if (value != 0) {
                text.append(value);
            }
        }
        return text.toString();
    }

    /**
     * Finds text inside the field a position belongs to: from the field's
     * start when {@code wholeField}, else forward from or backward up to the
     * position. Answers the match's position, 0 when there is none or the
     * screen is unformatted.
     */
    public synchronized int searchField(String text, int position, boolean backward, boolean wholeField) {
        Optional<Field> found = fieldAt(position);
        if (found.isEmpty() || text.isEmpty()) {
            return 0;
        }
        Field field = found.get();
        String contents = fieldText(field, false);
        int from = field.contains(position) ? field.offsetOf(position) : 0;
        int match;
        if (wholeField) {
            match = contents.indexOf(text);
        } else if (backward) {
            match = contents.lastIndexOf(text, from);
        } else {
            match = contents.indexOf(text, from);
        }
        return match < 0 ? 0 : field.positionAt(match);
    }

    // ---- operator and automation input -----------------------------------

    /**
     * Writes text into input positions from a position on, as the automation
     * interfaces' Copy String to PS does. The write is refused whole
     * ({@link ResultCode#INHIBITED}) when any target position is an attribute,
     * lies in a protected field or is a numeric field given a character it
     * refuses. Text running past the last position is cut
     * ({@link ResultCode#TRUNCATED}). Touched fields get their modified tag.
     */
    public synchronized ResultCode writeInput(int position, String text) {
        if (!isValidPosition(position)) {
            return ResultCode.INVALID_POSITION;
        }
        int count = Math.min(text.length(), size - position + 1);
        FieldAttribute current = governingAttribute(position - 1);
        for (int i = 0; i < count; i++) {
            int index = position - 1 + i;
            if (attributes[index] != null) {
                return ResultCode.INHIBITED;
            }
            if (current != null && !accepts(current, text.charAt(i))) {
                return ResultCode.INHIBITED;
            }
        }
        for (int i = 0; i < count; i++) {
            putInput(position + i, text.charAt(i));
        }
        return count < text.length() ? ResultCode.TRUNCATED : ResultCode.OK;
    }

    /**
     * Writes text into the field a position belongs to, from that position
     * (from the field's start when the position is the attribute), as Copy
     * String to Field does. Unformatted screen: {@link ResultCode#NOT_FOUND};
     * protected field or refused numeric data: {@link ResultCode#INHIBITED};
     * text longer than the rest of the field is cut ({@link ResultCode#TRUNCATED}).
     */
    public synchronized ResultCode writeField(int position, String text) {
        if (!isValidPosition(position)) {
            return ResultCode.INVALID_POSITION;
        }
        Optional<Field> found = fieldAt(position);
        if (found.isEmpty()) {
            return ResultCode.NOT_FOUND;
        }
        Field field = found.get();
        if (field.isProtected()) {
            return ResultCode.INHIBITED;
        }
        int offset = field.contains(position) ? field.offsetOf(position) : 0;
        int count = Math.min(text.length(), field.length() - offset);
        for (int i = 0; i < count; i++) {
            if (!accepts(field.attribute(), text.charAt(i))) {
                return ResultCode.INHIBITED;
            }
        }
        for (int i = 0; i < count; i++) {
            putInput(field.positionAt(offset + i), text.charAt(i));
        }
        return count < text.length() ? ResultCode.TRUNCATED : ResultCode.OK;
    }

    /** Whether a field with this attribute takes the character from the operator. */
    public static boolean accepts(FieldAttribute attribute, char c) {
        if (attribute.isProtected()) {
            return false;
        }
        return !attribute.isNumeric() || isNumericCharacter(c);
    }

    /** The characters a numeric field takes: digits, the decimal point and the minus sign. */
    public static boolean isNumericCharacter(char c) {
        return (c >= '0' && c <= '9') || c == '.' || c == '-';
    }

    /**
     * Stores an input character at a character position and sets the
     * modified tag of its field. The caller has checked that the field
     * takes it.
     */
    public synchronized void putInput(int position, char c) {
        checkPosition(position);
        characters[position - 1] = c;
        markModified(position);
    }

    /** Raw character store used by the keyboard's editing keys; sets the modified tag. */
    synchronized char rawCharacter(int position) {
        return characters[position - 1];
    }

    synchronized void setRawCharacter(int position, char value) {
        characters[position - 1] = value;
        markModified(position);
    }

    /** Sets or clears the modified-data tag of a field. */
    public synchronized void setModified(Field field, boolean modified) {
        int index = field.attributePosition() - 1;
        if (attributes[index] != null && attributes[index].isModified() != modified) {
            attributes[index] = attributes[index].withModified(modified);
            version++;
        }
    }

    /** Clears every unprotected field to nulls and resets its modified tag (Erase Input). */
    public synchronized void eraseUnprotected() {
        for (Field field : unprotectedFields()) {
            for (int offset = 0; offset < field.length(); offset++) {
                characters[field.positionAt(offset) - 1] = 0;
            }
            attributes[field.attributePosition() - 1] = field.attribute().withModified(false);
        }
        version++;
    }

    /** Resets the modified tag of every field (the host does so when it answers). */
    public synchronized void resetModifiedTags() {
        for (int index = 0; index < size; index++) {
            if (attributes[index] != null && attributes[index].isModified()) {
                attributes[index] = attributes[index].withModified(false);
            }
        }
        version++;
    }

    // ---- painting in parts ------------------------------------------------

    /** A copy of the whole screen (size, characters, fields, extended attributes and cursor). */
    public synchronized PresentationSpace snapshot() {
        PresentationSpace copy = new PresentationSpace(model);
        copy.allocate(rows, columns);
        System.arraycopy(characters, 0, copy.characters, 0, size);
        System.arraycopy(attributes, 0, copy.attributes, 0, size);
        System.arraycopy(extended, 0, copy.extended, 0, size);
        copy.attributeCount = attributeCount;
        copy.cursor = cursor;
        return copy;
    }

    /**
     * Takes rows {@code fromRow} to {@code toRow} (1-based, inclusive) of
     * another screen, as one write of a host that paints a screen in parts:
     * the first part also takes the other screen's size (erasing this one
     * when it differs), the last part its cursor.
     */
    public synchronized void paintRows(PresentationSpace source, int fromRow, int toRow, boolean first, boolean last) {
        synchronized (source) {
            if (first && (source.rows != rows || source.columns != columns)) {
                eraseAll(source.rows, source.columns);
            }
            int from = (fromRow - 1) * columns;
            int to = Math.min(size, toRow * columns);
            for (int index = from; index < to; index++) {
                if ((attributes[index] != null) != (source.attributes[index] != null)) {
                    attributeCount += source.attributes[index] != null ? 1 : -1;
                }
                attributes[index] = source.attributes[index];
                characters[index] = source.characters[index];
                extended[index] = source.extended[index];
            }
            if (last) {
                cursor = source.cursor;
            }
            version++;
        }
    }

    // ---- internals ------------------------------------------------------

    private void markModified(int position) {
        int attributeIndex = attributeIndexAtOrBefore(position - 1);
        if (attributeIndex >= 0) {
            attributes[attributeIndex] = attributes[attributeIndex].withModified(true);
        }
        version++;
    }

    /** The attribute governing an index: the nearest at or before it, wrapping; null if unformatted. */
    private FieldAttribute governingAttribute(int index) {
        int attributeIndex = attributeIndexAtOrBefore(index);
        return attributeIndex < 0 ? null : attributes[attributeIndex];
    }

    private int attributeIndexAtOrBefore(int index) {
        if (attributeCount == 0) {
            return -1;
        }
        for (int step = 0; step < size; step++) {
            int candidate = Math.floorMod(index - step, size);
            if (attributes[candidate] != null) {
                return candidate;
            }
        }
        return -1;
    }

    private Field fieldFromAttribute(int attributeIndex) {
        int length = 0;
        while (length < size - 1 && attributes[(attributeIndex + 1 + length) % size] == null) {
            length++;
        }
        int start = (attributeIndex + 1) % size + 1;
        return new Field(attributeIndex + 1, start, length, attributes[attributeIndex], size);
    }

    private Optional<Integer> nearestInputStart(int position, boolean forward) {
        int best = -1;
        int bestDistance = Integer.MAX_VALUE;
        for (Field field : fields()) {
            if (field.isProtected() || field.length() == 0) {
                continue;
            }
            int distance = forward
                    ? Math.floorMod(field.start() - position, size)
                    : Math.floorMod(position - field.start(), size);
            if (distance == 0) {
                distance = size;
            }
            if (distance < bestDistance) {
                bestDistance = distance;
                best = field.start();
            }
        }
        return best < 0 ? Optional.empty() : Optional.of(best);
    }

    private static int indexOfField(List<Field> fields, int attributePosition) {
        for (int i = 0; i < fields.size(); i++) {
            if (fields.get(i).attributePosition() == attributePosition) {
                return i;
            }
        }
        throw new IllegalStateException("field vanished from the field list");
    }

    private void checkPosition(int position) {
        if (!isValidPosition(position)) {
            throw new IllegalArgumentException("position " + position + " is outside 1.." + size);
        }
    }

    private static char displayChar(char value) {
        return switch (value) {
            case 0 -> ' ';
            case DUP -> '*';
            case FIELD_MARK -> ';';
            default -> value;
        };
    }
}
