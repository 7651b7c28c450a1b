// The keyboard of one session: applies keystrokes to the presentation space
// the way a block-mode display station does. Characters go in at the cursor
// when the field takes them; editing keys move the cursor and edit the
// field; an attention key gathers the modified fields, inhibits input
// (system wait) and hands the message to the host link, which releases the
// keyboard when the host has answered.
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

    private final PresentationSpace screen;
    private final OperatorInformationArea oia;
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
            if (!waitForHost.isZero() && oia.inhibit() == Inhibit.SYSTEM_WAIT) {
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
            if (key instanceof Keystroke.Typed typed) {
                result = type(typed.value());
            } else if (key instanceof Keystroke.Edit edit) {
                result = edit(edit.key());
            } else {
                Aid aid = ((Keystroke.Attention) key).aid();
                result = refusalWhileInhibited();
                if (result == ResultCode.OK) {
                    if (!oia.isConnected()) {
                        oia.setInhibit(Inhibit.MINUS_FUNCTION);
                        result = ResultCode.INHIBITED;
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

    // ---- character keys -------------------------------------------------

    private ResultCode type(char c) {
        ResultCode refusal = refusalWhileInhibited();
        if (refusal != ResultCode.OK) {
            return refusal;
        }
        int position = screen.cursor();
        Optional<Field> found = screen.fieldAt(position);
        if (found.isEmpty()) {
            screen.putInput(position, c);
            screen.setCursor(wrap(position + 1));
            return ResultCode.OK;
        }
        Field field = found.get();
        if (!field.contains(position) || field.isProtected()) {
            return operatorError(Inhibit.PROTECTED_POSITION);
        }
        if (!PresentationSpace.accepts(field.attribute(), c)) {
            return operatorError(Inhibit.NUMERIC_ONLY);
        }
        int offset = field.offsetOf(position);
        if (oia.isInsertMode() && !shiftRight(field, offset)) {
            return operatorError(Inhibit.TOO_MUCH_ENTERED);
        }
        screen.putInput(position, c);
        if (offset + 1 < field.length()) {
            screen.setCursor(field.positionAt(offset + 1));
        } else {
            // Field full: skip to the next input field.
            screen.setCursor(screen.nextInputPosition(position).orElse(wrap(position + 1)));
        }
        return ResultCode.OK;
    }

    /** Makes room at an offset by moving the rest of the field right; the last character must be free. */
    private boolean shiftRight(Field field, int offset) {
        byte last = screen.rawCharacter(field.positionAt(field.length() - 1));
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
                return ResultCode.OK;
            }
            case INSERT -> {
                oia.setInsertMode(!oia.isInsertMode());
                return ResultCode.OK;
            }
            default -> {
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
            default -> throw new IllegalStateException("unhandled key " + key);
        }
        return ResultCode.OK;
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
            byte value = screen.rawCharacter(field.positionAt(used - 1));
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
        screen.setRawCharacter(run.positionAt(run.length() - 1), (byte) 0);
        return ResultCode.OK;
    }

    private ResultCode eraseToEndOfField(int cursor) {
        EditableRun run = editableRun(cursor);
        if (run == null) {
            return operatorError(Inhibit.PROTECTED_POSITION);
        }
        for (int i = run.offset(); i < run.length(); i++) {
            screen.setRawCharacter(run.positionAt(i), (byte) 0);
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
