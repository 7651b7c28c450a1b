// The operator information area (OIA): the status line under the screen and
// the indicator bytes that Copy OIA hands to automation callers.
//
// The image is 104 bytes (offsets 0-based):
//
//   offset  width  content
//   0       1      format byte, '1'
//   1       80     status line text, Latin-1:
//                    text column 0  '4' (display station), column 1 'B' while
//                    connected to the host application; columns 8-15 the
//                    input-inhibited text ("X SYSTEM", "X PROT", "X NUM",
//                    "X MORE", "X -f", "X PROG"); column 51 '^' in insert mode
//   81      1      group 1, online and screen ownership: 0x04 subsystem
//                    ready (always), 0x10 owned by the host application
//                    (connected)
//   82      5      groups 2-6 (character set, shift, highlight, colour): 0
//   87      1      group 7, insert mode: 0x80
//   88      5      group 8, input inhibited, five bytes:
//                    88: 0x20 machine check, 0x10 communication check
//                        (not raised by this emulator), 0x08 program
//                        check ("X PROG", an error the host reports)
//                    89: 0x10 minus function ("X -f"), 0x08 too much
//                        entered ("X MORE"), 0x01 numeric field ("X NUM")
//                    90: 0x80 protected position, go elsewhere ("X PROT")
//                    91: 0x20 system wait, host busy ("X SYSTEM")
//                    92: 0
//   93      10     groups 9-18: 0
//   103     1      reserved: 0
//
// Input is inhibited while any group 8 bit is set. System wait lasts from an
// attention key until the host answers; the operator-error states last until
// the Reset key. Thread-safe; waiters may block until input is allowed.
package com.ombrel.eQintra.emulator;

import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.Arrays;

public final class OperatorInformationArea {

    public static final int IMAGE_LENGTH = 104;
    public static final int FORMAT_OFFSET = 0;
    public static final int TEXT_OFFSET = 1;
    public static final int TEXT_LENGTH = 80;
    public static final int ONLINE_OFFSET = 81;
    public static final int INSERT_OFFSET = 87;
    public static final int INHIBIT_OFFSET = 88;
    public static final int INHIBIT_LENGTH = 5;

    public static final byte FORMAT = '1';
    public static final int ONLINE_SUBSYSTEM_READY = 0x04;
    public static final int ONLINE_APPLICATION_OWNED = 0x10;
    public static final int INSERT_MODE = 0x80;

    private static final int INHIBIT_TEXT_COLUMN = 8;
    private static final int INSERT_TEXT_COLUMN = 51;

    /** Why input is inhibited, with the indicator bit and text each reason shows. */
    public enum Inhibit {
        NONE(0, 0, ""),
        /** Waiting for the host to answer an attention key. */
        SYSTEM_WAIT(91, 0x20, "X SYSTEM"),
        /** The operator typed at a protected position or an attribute. */
        PROTECTED_POSITION(90, 0x80, "X PROT"),
        /** The operator typed a refused character into a numeric field. */
        NUMERIC_ONLY(89, 0x01, "X NUM"),
        /** The field is full and insert mode has no room. */
        TOO_MUCH_ENTERED(89, 0x08, "X MORE"),
        /** The key has no function in the current state. */
        MINUS_FUNCTION(89, 0x10, "X -f"),
        /** The host refused the last input and locked the keyboard until Reset. */
        PROGRAM_CHECK(88, 0x08, "X PROG");

        private final int offset;
        private final int bit;
        private final String text;

        Inhibit(int offset, int bit, String text) {
            this.offset = offset;
            this.bit = bit;
            this.text = text;
        }

        public int offset() {
            return offset;
        }

        public int bit() {
            return bit;
        }

        public String text() {
            return text;
        }

        /** Operator errors are cleared by the Reset key; system wait is not. */
        public boolean isOperatorError() {
            return this != NONE && this != SYSTEM_WAIT;
        }
    }

    private boolean connected;
    private boolean insertMode;
    private Inhibit inhibit = Inhibit.NONE;
    private long version;

    public synchronized boolean isConnected() {
        return connected;
    }

    public synchronized void setConnected(boolean connected) {
        if (this.connected != connected) {
            this.connected = connected;
            changed();
        }
    }

    public synchronized boolean isInsertMode() {
        return insertMode;
    }

    public synchronized void setInsertMode(boolean insertMode) {
        if (this.insertMode != insertMode) {
            this.insertMode = insertMode;
            changed();
        }
    }

    public synchronized Inhibit inhibit() {
        return inhibit;
    }

    public synchronized boolean isInputInhibited() {
        return inhibit != Inhibit.NONE;
    }

    public synchronized void setInhibit(Inhibit inhibit) {
        if (this.inhibit != inhibit) {
            this.inhibit = inhibit;
            changed();
        }
    }

    /** Clears an operator error, leaving a system wait in place. Answers whether anything changed. */
    public synchronized boolean resetOperatorError() {
        if (inhibit.isOperatorError()) {
            setInhibit(Inhibit.NONE);
            return true;
        }
        return false;
    }

    /**
     * Blocks until input is no longer inhibited or the time runs out.
     * Answers whether input is allowed.
     */
    public synchronized boolean awaitInputAllowed(Duration timeout) throws InterruptedException {
        long deadline = System.nanoTime() + timeout.toNanos();
        while (inhibit != Inhibit.NONE) {
            long left = deadline - System.nanoTime();
            if (left <= 0) {
                return false;
            }
            long millis = Math.max(1, left / 1_000_000);
            wait(millis);
        }
        return true;
    }

    /** Grows with every change of the image. */
    public synchronized long version() {
        return version;
    }

    /** A fresh copy of the 104-byte image. */
    public synchronized byte[] image() {
        byte[] image = new byte[IMAGE_LENGTH];
        image[FORMAT_OFFSET] = FORMAT;
        byte[] text = statusText().getBytes(StandardCharsets.ISO_8859_1);
        System.arraycopy(text, 0, image, TEXT_OFFSET, TEXT_LENGTH);
        image[ONLINE_OFFSET] = (byte) (ONLINE_SUBSYSTEM_READY | (connected ? ONLINE_APPLICATION_OWNED : 0));
        image[INSERT_OFFSET] = (byte) (insertMode ? INSERT_MODE : 0);
        if (inhibit != Inhibit.NONE) {
            image[inhibit.offset()] |= (byte) inhibit.bit();
        }
        return image;
    }

    /** The 80-character status line as the operator sees it. */
    public synchronized String statusText() {
        char[] line = new char[TEXT_LENGTH];
        Arrays.fill(line, ' ');
        line[0] = '4';
        line[1] = connected ? 'B' : ' ';
        String inhibitText = inhibit.text();
        inhibitText.getChars(0, inhibitText.length(), line, INHIBIT_TEXT_COLUMN);
        if (insertMode) {
            line[INSERT_TEXT_COLUMN] = '^';
        }
        return new String(line);
    }

    private void changed() {
        version++;
        notifyAll();
    }
}
