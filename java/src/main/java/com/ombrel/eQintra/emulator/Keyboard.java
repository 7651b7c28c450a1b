// The keyboard of one session: applies keystrokes to the presentation space
// the way a block-mode display station does. Characters go in at the cursor
// when the field takes them; editing keys move the cursor and edit the
// field; an attention key gathers the modified fields, inhibits input
// (system wait) and hands the message to the host link, which releases the
// keyboard when the host has answered.
//
// The keyboard is that of a 3270 or a 5250 station (TerminalType); a key the
// station lacks shows "minus function" and does nothing else. Attn and
// System Request reach the host also while it is busy (system wait), as on
// the real stations; every other key then answers busy.
//
// Two entry points: sendKeys for automation callers, and operatorKeys for
// the person at the keyboard, whose keys first pass the keystroke
// interceptor. Each keystroke runs under the screen lock; the after-key hook
// runs outside it.
package com.ombrel.eQintra.emulator;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.time.Duration;
import java.util.List;
import java.util.Optional;
import java.util.function.Consumer;
import java.util.function.Predicate;

public final class Keyboard {

    /** Extended attribute byte: highlighting in bits 7-6, colour in bits 5-3. */
    static final int HIGHLIGHT_MASK = 0xC0;
    static final int HIGHLIGHT_REVERSE = 0x80;
    static final int HIGHLIGHT_UNDERSCORE = 0xC0;
    static final int COLOR_MASK = 0x38;

    private final TerminalType station;
    private final PresentationSpace screen;
    private final OperatorInformationArea oia;
    // Keyboard states, changed under the screen lock.
    private boolean capsLock;
    private boolean hexMode;
    private int hexHigh = -1;
    private int typedAttribute;
    private final Consumer<InboundMessage> hostSink;
    private final Runnable afterKeystroke;
    private volatile Predicate<String> interceptor = key -> false;
    private volatile boolean reserved;

    /**
     * @param hostSink       receives the message of each attention key; called outside the screen lock
     * @param afterKeystroke runs after every keystroke that was applied, outside the screen lock
     */
    public Keyboard(PresentationSpace screen, OperatorInformationArea oia,
                    Consumer<InboundMessage> hostSink, Runnable afterKeystroke) {
        this(TerminalType.T3270, screen, oia, hostSink, afterKeystroke);
    }

    /** A keyboard of the given station. */
    public Keyboard(TerminalType station, PresentationSpace screen, OperatorInformationArea oia,
                    Consumer<InboundMessage> hostSink, Runnable afterKeystroke) {
        this.station = station;
        this.screen = screen;
        this.oia = oia;
        this.hostSink = hostSink;
        this.afterKeystroke = afterKeystroke;
    }

    /** Decides for each operator keystroke (by its key text) whether it is taken away. */
    public void setInterceptor(Predicate<String> interceptor) {
        this.interceptor = interceptor;
    }

    /** While reserved, operator keystrokes are refused; automation keystrokes still work. */
    public void setReserved(boolean reserved) {
        this.reserved = reserved;
    }

    public boolean isReserved() {
        return reserved;
    }

    public TerminalType station() {
        return station;
    }

    /** Whether caps lock is on: letters typed go in upper case. */
    public boolean isCapsLock() {
        synchronized (screen) {
            return capsLock;
        }
    }

    /**
     * Applies an automation keystroke string. The string is parsed whole
     * first: an unknown key name sends nothing and answers
     * {@link ResultCode#PARAMETER_ERROR}. Keys then apply in order; the first
     * refused key ends the string and its code is the answer. With a
     * positive wait, a key that meets a system wait (for instance the text
     * after an Enter) waits up to that long for the host to answer.
     */
    public ResultCode sendKeys(String mnemonics, Duration waitForHost) {
        List<Keystroke> keys;
        try {
            keys = Keystroke.parse(mnemonics);
        } catch (IllegalArgumentException e) {
            return ResultCode.PARAMETER_ERROR;
        }
        for (Keystroke key : keys) {
            if (!waitForHost.isZero() && oia.inhibit() == Inhibit.SYSTEM_WAIT && !interruptsHost(key)) {
                try {
                    oia.awaitInputAllowed(waitForHost);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    return ResultCode.SYSTEM_ERROR;
                }
            }
            ResultCode result = press(key);
            if (result != ResultCode.OK) {
                return result;
            }
        }
        return ResultCode.OK;
    }

    /**
     * Applies keystrokes typed by the operator. Each key is first offered to
     * the interceptor; a key it takes is not applied. Refused keys do not
     * end the string: the operator error shows in the OIA instead.
     */
    public ResultCode operatorKeys(String mnemonics) {
        if (reserved) {
            return ResultCode.INHIBITED;
        }
        List<Keystroke> keys;
        try {
            keys = Keystroke.parse(mnemonics);
        } catch (IllegalArgumentException e) {
            return ResultCode.PARAMETER_ERROR;
        }
        ResultCode first = ResultCode.OK;
        for (Keystroke key : keys) {
            if (interceptor.test(key.keyText())) {
                continue;
            }
            ResultCode result = press(key);
            if (first == ResultCode.OK) {
                first = result;
            }
        }
        return first;
    }

    /** Applies one keystroke. */
    public ResultCode press(Keystroke key) {
        InboundMessage outbound = null;
        ResultCode result;
        synchronized (screen) {
            Keystroke resolved = onThisStation(key);
            if (!resolved.existsOn(station)) {
                result = refusalWhileInhibited();
                if (result == ResultCode.OK) {
                    result = operatorError(Inhibit.MINUS_FUNCTION);
                }
            } else if (resolved instanceof Keystroke.Typed typed) {
                result = typeKey(typed.value());
            } else if (resolved instanceof Keystroke.Edit edit && edit.key() != EditKey.CURSOR_SELECT) {
                result = edit(edit.key());
            } else {
                Aid aid = resolved instanceof Keystroke.Attention attention ? attention.aid() : null;
                result = aid != null && aid.interruptsHost() ? ResultCode.OK : refusalWhileInhibited();
                if (result == ResultCode.OK && aid == null) {
                    // Cursor select: a designator that asks for attention makes one.
                    CursorSelect select = cursorSelect(screen.cursor());
                    result = select.result();
                    aid = select.attention() ? Aid.CURSOR_SELECT : null;
                }
                if (result == ResultCode.OK && aid != null) {
                    if (!oia.isConnected()) {
                        result = operatorError(Inhibit.MINUS_FUNCTION);
                    } else {
                        outbound = attention(aid);
                    }
                }
            }
        }
        afterKeystroke.run();
        if (outbound != null) {
            hostSink.accept(outbound);
        }
        return result;
    }

    /** The key as this station has it: the paging keys and the print key differ between stations. */
    private Keystroke onThisStation(Keystroke key) {
        if (station == TerminalType.T3270 && key instanceof Keystroke.Attention attention) {
            if (attention.aid() == Aid.ROLL_DOWN) {
                return new Keystroke.Attention(Aid.PF7);
            }
            if (attention.aid() == Aid.ROLL_UP) {
                return new Keystroke.Attention(Aid.PF8);
            }
        }
        if (station == TerminalType.T5250 && key instanceof Keystroke.Edit edit
                && edit.key() == EditKey.PRINT_LOCAL) {
            return new Keystroke.Attention(Aid.PRINT);
        }
        return key;
    }

    private static boolean interruptsHost(Keystroke key) {
        return key instanceof Keystroke.Attention attention && attention.aid().interruptsHost();
    }

    // ---- character keys -------------------------------------------------

    /** A character key: caps lock and hex mode apply first. */
    private ResultCode typeKey(char c) {
        ResultCode refusal = refusalWhileInhibited();
        if (refusal != ResultCode.OK) {
            return refusal;
        }
        if (hexMode) {
            int digit = Character.digit(c, 16);
            if (digit < 0) {
                hexMode = false;
                hexHigh = -1;
                return operatorError(Inhibit.MINUS_FUNCTION);
            }
            if (hexHigh < 0) {
                hexHigh = digit;
                return ResultCode.OK;
            }
            char value = (char) (hexHigh * 16 + digit);
            hexMode = false;
            hexHigh = -1;
            return type(value, false);
        }
        if (capsLock) {
            c = Character.toUpperCase(c);
        }
        return type(c, true);
    }

    private ResultCode type(char c, boolean numericCheck) {
        int position = screen.cursor();
        Optional<Field> found = screen.fieldAt(position);
        if (found.isEmpty()) {
            put(position, c);
            screen.setCursor(wrap(position + 1));
            return ResultCode.OK;
        }
        Field field = found.get();
        if (!field.contains(position) || field.isProtected()) {
            return operatorError(Inhibit.PROTECTED_POSITION);
        }
        if (numericCheck && !PresentationSpace.accepts(field.attribute(), c)) {
            return operatorError(Inhibit.NUMERIC_ONLY);
        }
        int offset = field.offsetOf(position);
        if (oia.isInsertMode() && !shiftRight(field, offset)) {
            return operatorError(Inhibit.TOO_MUCH_ENTERED);
        }
        put(position, c);
        if (offset + 1 < field.length()) {
            screen.setCursor(field.positionAt(offset + 1));
        } else {
            // Field full: skip to the next input field.
            screen.setCursor(screen.nextInputPosition(position).orElse(wrap(position + 1)));
        }
        return ResultCode.OK;
    }

    /** Stores a typed character with the colour and highlighting chosen for typing. */
    private void put(int position, char c) {
        screen.putInput(position, c);
        if (typedAttribute != 0 || screen.extendedAttributeAt(position) != 0) {
            screen.setExtendedAttribute(position, 1, typedAttribute);
        }
    }

    /** Makes room at an offset by moving the rest of the field right; the last character must be free. */
    private boolean shiftRight(Field field, int offset) {
        char last = screen.rawCharacter(field.positionAt(field.length() - 1));
        if (last != 0 && last != ' ') {
            return false;
        }
        for (int i = field.length() - 1; i > offset; i--) {
            screen.setRawCharacter(field.positionAt(i), screen.rawCharacter(field.positionAt(i - 1)));
        }
        return true;
    }

    // ---- editing keys ---------------------------------------------------

    private ResultCode edit(EditKey key) {
        int cursor = screen.cursor();
        switch (key) {
            case RESET -> {
                oia.resetOperatorError();
                oia.setInsertMode(false);
                hexMode = false;
                hexHigh = -1;
                return ResultCode.OK;
            }
            case INSERT -> {
                oia.setInsertMode(!oia.isInsertMode());
                return ResultCode.OK;
            }
            case CAPS_LOCK -> {
                capsLock = !capsLock;
                return ResultCode.OK;
            }
            default -> {
                if (key.worksWhileInhibited()) {
                    // Print, device cancel, jump, the cursor shape and the lock
                    // keys: nothing on this station's screen changes.
                    return ResultCode.OK;
                }
            }
        }
        ResultCode refusal = refusalWhileInhibited();
        if (refusal != ResultCode.OK) {
            return refusal;
        }
        int columns = screen.columns();
        switch (key) {
            case TAB -> screen.setCursor(screen.nextInputPosition(cursor).orElse(1));
            case BACKTAB -> screen.setCursor(backtabTarget(cursor));
            case HOME -> screen.setCursor(screen.firstInputPosition().orElse(1));
            case NEWLINE -> screen.setCursor(newlineTarget(cursor));
            case UP -> screen.setCursor(wrap(cursor - columns));
            case DOWN -> screen.setCursor(wrap(cursor + columns));
            case LEFT, BACKSPACE -> screen.setCursor(wrap(cursor - 1));
            case RIGHT -> screen.setCursor(wrap(cursor + 1));
            case END_FIELD -> screen.setCursor(endOfFieldText(cursor));
            case DELETE -> {
                return deleteAt(cursor);
            }
            case ERASE_EOF -> {
                return eraseToEndOfField(cursor);
            }
            case ERASE_INPUT -> {
                if (screen.isFormatted()) {
                    screen.eraseUnprotected();
                    screen.setCursor(screen.firstInputPosition().orElse(1));
                } else {
                    screen.eraseAll();
                }
            }
            case DUP -> {
                return duplicate(cursor);
            }
            case FIELD_MARK -> {
                return type(PresentationSpace.FIELD_MARK, false);
            }
            case FIELD_EXIT, FIELD_PLUS, FIELD_MINUS -> {
                return fieldExit(cursor, key);
            }
            case RECORD_BACKSPACE -> screen.setCursor(screen.firstInputPosition().orElse(1));
            case HEX -> {
                hexMode = true;
                hexHigh = -1;
            }
            case WORD_RIGHT -> screen.setCursor(wordStart(cursor, 1));
            case WORD_LEFT -> screen.setCursor(wordStart(cursor, -1));
            case DELETE_WORD -> {
                return deleteWord(cursor);
            }
            case REVERSE_VIDEO -> typedAttribute = (typedAttribute & ~HIGHLIGHT_MASK) | HIGHLIGHT_REVERSE;
            case UNDERSCORE -> typedAttribute = (typedAttribute & ~HIGHLIGHT_MASK) | HIGHLIGHT_UNDERSCORE;
            case RESET_VIDEO -> typedAttribute &= ~HIGHLIGHT_MASK;
            case RESET_COLOR -> typedAttribute &= ~COLOR_MASK;
            case BLUE, RED, PINK, GREEN, TURQUOISE, YELLOW, WHITE ->
                    typedAttribute = (typedAttribute & ~COLOR_MASK) | (colorNumber(key) << 3);
            default -> throw new IllegalStateException("unhandled key " + key);
        }
        return ResultCode.OK;
    }

    /** The colour numbers of the extended attribute byte, 1 to 7. */
    static int colorNumber(EditKey key) {
        return switch (key) {
            case BLUE -> 1;
            case RED -> 2;
            case PINK -> 3;
            case GREEN -> 4;
            case TURQUOISE -> 5;
            case YELLOW -> 6;
            case WHITE -> 7;
            default -> throw new IllegalArgumentException(key + " is no colour key");
        };
    }

    /** DUP: the field from the cursor fills with the DUP character; the cursor goes to the next field. */
    private ResultCode duplicate(int cursor) {
        EditableRun run = editableRun(cursor);
        if (run == null) {
            return operatorError(Inhibit.PROTECTED_POSITION);
        }
        for (int i = run.offset(); i < run.length(); i++) {
            screen.setRawCharacter(run.positionAt(i), PresentationSpace.DUP);
        }
        screen.setCursor(screen.isFormatted() ? screen.nextInputPosition(cursor).orElse(cursor)
                : run.positionAt(run.length() - 1));
        return ResultCode.OK;
    }

    /**
     * Field exit, field plus and field minus: the field is erased from the
     * cursor on; a signed numeric field's digits move to the right, leaving
     * its last position for the sign ('-' after field minus, blank
     * otherwise); the cursor goes to the next input field. Field minus
     * works in signed numeric fields only.
     */
    private ResultCode fieldExit(int cursor, EditKey key) {
        Optional<Field> found = screen.fieldAt(cursor);
        if (found.isEmpty()) {
            return operatorError(Inhibit.MINUS_FUNCTION);
        }
        Field field = found.get();
        if (field.isProtected() || !field.contains(cursor)) {
            return operatorError(Inhibit.PROTECTED_POSITION);
        }
        boolean signed = field.attribute().isSignedNumeric();
        if (key == EditKey.FIELD_MINUS && !signed) {
            return operatorError(Inhibit.MINUS_FUNCTION);
        }
        for (int i = field.offsetOf(cursor); i < field.length(); i++) {
            screen.setRawCharacter(field.positionAt(i), (char) 0);
        }
        if (signed && field.length() > 1) {
            int digits = field.length() - 1;
            StringBuilder kept = new StringBuilder();
            for (int i = 0; i < digits; i++) {
                char c = screen.rawCharacter(field.positionAt(i));
                if (c != 0 && c != ' ') {
                    kept.append(c);
                }
            }
            int pad = digits - kept.length();
            for (int i = 0; i < digits; i++) {
                screen.setRawCharacter(field.positionAt(i), i < pad ? 0 : kept.charAt(i - pad));
            }
            screen.setRawCharacter(field.positionAt(digits), key == EditKey.FIELD_MINUS ? '-' : 0);
        } else {
            // Marks the field modified also when nothing was erased.
            screen.setRawCharacter(cursor, screen.rawCharacter(cursor));
        }
        screen.setCursor(screen.nextInputPosition(cursor).orElse(field.start()));
        return ResultCode.OK;
    }

    /** The next (direction 1) or previous (-1) start of a word in input positions; the cursor when none. */
    private int wordStart(int cursor, int direction) {
        for (int step = 1; step < screen.size(); step++) {
            int position = wrap(cursor + step * direction);
            if (isWordStart(position)) {
                return position;
            }
        }
        return cursor;
    }

    private boolean isWordStart(int position) {
        if (screen.isAttributePosition(position) || isBlank(position)) {
            return false;
        }
        Optional<Field> field = screen.fieldAt(position);
        if (field.isPresent() && field.get().isProtected()) {
            return false;
        }
        int before = wrap(position - 1);
        return screen.isAttributePosition(before) || isBlank(before)
                || (field.isEmpty() && screen.columnOf(position) == 1);
    }

    private boolean isBlank(int position) {
        char c = screen.rawCharacter(position);
        return c == 0 || c == ' ';
    }

    /** Deletes the word at the cursor and the blanks after it; the rest of the field moves left. */
    private ResultCode deleteWord(int cursor) {
        EditableRun run = editableRun(cursor);
        if (run == null) {
            return operatorError(Inhibit.PROTECTED_POSITION);
        }
        int end = run.offset();
        while (end < run.length() && !isBlank(run.positionAt(end))) {
            end++;
        }
        while (end < run.length() && isBlank(run.positionAt(end))) {
            end++;
        }
        int removed = end - run.offset();
        for (int i = run.offset(); i < run.length(); i++) {
            int from = i + removed;
            screen.setRawCharacter(run.positionAt(i), from < run.length() ? screen.rawCharacter(run.positionAt(from)) : 0);
        }
        return ResultCode.OK;
    }

    /** What cursor select did: its result, and whether it asks for an attention. */
    private record CursorSelect(ResultCode result, boolean attention) {
    }

    /**
     * Cursor select on a selector-pen field (displayed normal-detectable or
     * intensified): designator '?' turns into '>' and sets the modified tag,
     * '>' turns back and clears it; '&', a blank or a null designator asks
     * for an attention. Anywhere else the key has no function.
     */
    private CursorSelect cursorSelect(int cursor) {
        Optional<Field> found = screen.fieldAt(cursor);
        if (found.isEmpty() || found.get().length() == 0 || !found.get().attribute().isDetectable()) {
            return new CursorSelect(operatorError(Inhibit.MINUS_FUNCTION), false);
        }
        Field field = found.get();
        char designator = screen.rawCharacter(field.start());
        switch (designator) {
            case '?' -> {
                screen.setRawCharacter(field.start(), '>');
                return new CursorSelect(ResultCode.OK, false);
            }
            case '>' -> {
                screen.setRawCharacter(field.start(), '?');
                screen.setModified(screen.fieldAt(cursor).orElseThrow(), false);
                return new CursorSelect(ResultCode.OK, false);
            }
            case '&', ' ', 0 -> {
                return new CursorSelect(ResultCode.OK, true);
            }
            default -> {
                return new CursorSelect(operatorError(Inhibit.MINUS_FUNCTION), false);
            }
        }
    }

    private int backtabTarget(int cursor) {
        Optional<Field> field = screen.fieldAt(cursor);
        if (field.isPresent() && !field.get().isProtected() && field.get().contains(cursor)
                && field.get().start() != cursor) {
            return field.get().start();
        }
        return screen.previousInputPosition(cursor).orElse(1);
    }

    private int newlineTarget(int cursor) {
        int row = screen.rowOf(cursor);
        int lineStart = screen.position(row == screen.rows() ? 1 : row + 1, 1);
        if (!screen.isFormatted()) {
            return lineStart;
        }
        Optional<Field> field = screen.fieldAt(lineStart);
        if (field.isPresent() && field.get().contains(lineStart) && !field.get().isProtected()) {
            return lineStart;
        }
        return screen.nextInputPosition(lineStart).orElse(lineStart);
    }

    private int endOfFieldText(int cursor) {
        Optional<Field> found = screen.fieldAt(cursor);
        if (found.isEmpty() || found.get().length() == 0) {
            return cursor;
        }
        Field field = found.get();
        int used = field.length();
        while (used > 0) {
            char value = screen.rawCharacter(field.positionAt(used - 1));
            if (value != 0 && value != ' ') {
                break;
            }
            used--;
        }
        return field.positionAt(Math.min(used, field.length() - 1));
    }

    private ResultCode deleteAt(int cursor) {
        EditableRun run = editableRun(cursor);
        if (run == null) {
            return operatorError(Inhibit.PROTECTED_POSITION);
        }
        for (int i = run.offset(); i < run.length() - 1; i++) {
            screen.setRawCharacter(run.positionAt(i), screen.rawCharacter(run.positionAt(i + 1)));
        }
        screen.setRawCharacter(run.positionAt(run.length() - 1), (char) 0);
        return ResultCode.OK;
    }

    private ResultCode eraseToEndOfField(int cursor) {
        EditableRun run = editableRun(cursor);
        if (run == null) {
            return operatorError(Inhibit.PROTECTED_POSITION);
        }
        for (int i = run.offset(); i < run.length(); i++) {
            screen.setRawCharacter(run.positionAt(i), (char) 0);
        }
        return ResultCode.OK;
    }

    /**
     * The stretch an editing key works on: the unprotected field holding
     * the cursor, or on an unformatted screen the rest of the cursor's row.
     * Null when the cursor is on an attribute or in a protected field.
     */
    private EditableRun editableRun(int cursor) {
        Optional<Field> found = screen.fieldAt(cursor);
        if (found.isEmpty()) {
            int rowStart = screen.position(screen.rowOf(cursor), 1);
            return new EditableRun(rowStart, cursor - rowStart, screen.columns(), screen.size());
        }
        Field field = found.get();
        if (field.isProtected() || !field.contains(cursor)) {
            return null;
        }
        return new EditableRun(field.start(), field.offsetOf(cursor), field.length(), screen.size());
    }

    private record EditableRun(int start, int offset, int length, int screenSize) {
        int positionAt(int i) {
            return (start - 1 + i) % screenSize + 1;
        }
    }

    // ---- attention keys -------------------------------------------------

    private InboundMessage attention(Aid aid) {
        if (aid == Aid.CLEAR) {
            screen.eraseAll();
        }
        List<InboundMessage.FieldInput> fields = aid.isShortRead()
                ? List.of()
                : screen.modifiedFields().stream()
                        .map(field -> new InboundMessage.FieldInput(field.start(), screen.fieldInput(field)))
                        .toList();
        oia.setInsertMode(false);
        hexMode = false;
        hexHigh = -1;
        oia.setInhibit(Inhibit.SYSTEM_WAIT);
        return new InboundMessage(aid, screen.cursor(), fields);
    }

    // ---- helpers --------------------------------------------------------

    private ResultCode refusalWhileInhibited() {
        Inhibit inhibit = oia.inhibit();
        if (inhibit == Inhibit.NONE) {
            return ResultCode.OK;
        }
        return inhibit == Inhibit.SYSTEM_WAIT ? ResultCode.BUSY : ResultCode.INHIBITED;
    }

    private ResultCode operatorError(Inhibit inhibit) {
        oia.setInhibit(inhibit);
        return ResultCode.INHIBITED;
    }

    private int wrap(int position) {
        return Math.floorMod(position - 1, screen.size()) + 1;
    }
}
