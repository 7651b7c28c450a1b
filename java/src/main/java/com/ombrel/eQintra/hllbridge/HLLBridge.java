// The EHLLAPI face of one emulator session. The native library (libtrvha64 /
// trvha64.dll) registers the session under its letter, serves callers on a
// service thread of its own and calls the public methods below on that
// thread, attached to this virtual machine. Those methods answer with a long:
//
//   packed  bits 0-15 an EHLLAPI return code; when it is 0, the bits from 16
//           up are a value (a length, a position, a size);
//   plain   the low 32 bits are the return code.
//
// Each method's comment says which. Text and bytes for the caller do not come
// back through the result: they are handed to the library during the call
// through cppSetRawData, which writes the waiting caller's data buffer.
//
// The session's changes travel the other way through the notification
// natives (presentation space, OIA, input released, close attempts and, while
// a caller intercepts them, keystrokes), from whichever emulator thread made
// them.
//
// What callers hold here (close and keystroke intercepts, the reservation of
// the keyboard) is kept per caller, by the identity the library gives the
// caller being served, never by counting starts and stops: a caller's stop
// ends its own intercept, and a caller that ended without stopping (killed,
// or gone without its clean-up reaching here) is forgotten once the library
// answers that it has ended. The library asks for that look about once a
// second (ForgetEndedCallers); close attempts and keystrokes look first too.
//
// Lifetime: register() once, unregister() once. After unregister() no native
// of this letter is called again and late requests are answered with 1.
package com.ombrel.eQintra.hllbridge;

import com.ombrel.eQintra.emulator.CopyOptions;
import com.ombrel.eQintra.emulator.Field;
import com.ombrel.eQintra.emulator.FieldSelector;
import com.ombrel.eQintra.emulator.PresentationSpace;
import com.ombrel.eQintra.emulator.Session;
import com.ombrel.eQintra.emulator.SessionListener;
import java.lang.System.Logger.Level;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.util.ArrayDeque;
import java.util.Deque;
import java.util.HashSet;
import java.util.List;
import java.util.Optional;
import java.util.Set;
import java.util.function.LongSupplier;

public class HLLBridge {

    private static final System.Logger LOG = System.getLogger(HLLBridge.class.getName());

    // EHLLAPI return codes this side answers with.
    static final int RC_OK = 0;
    static final int RC_NOT_CONNECTED = 1;
    static final int RC_PARAMETER_ERROR = 2;
    static final int RC_INVALID_POSITION = 7;
    static final int RC_SYSTEM_ERROR = 9;
    static final int RC_NOT_FOUND = 24;
    static final int RC_ZERO_LENGTH_FIELD = 28;
    static final int RC_TRUNCATED = 6;

    /** The caller's data buffer holds 10,240 bytes, one of which the reply's terminator takes. */
    static final int MAX_REPLY = 10_239;
    /**
     * Screen copies are rendered into a buffer of the serving thread, used
     * again for every copy: a request makes no garbage. The library copies
     * the reply out before the call returns.
     */
    private static final ThreadLocal<byte[]> COPY_BUFFER = ThreadLocal.withInitial(() -> new byte[MAX_REPLY + 1]);
    /** Length of the Query Session Status reply. */
    static final int SESSION_STATUS_LENGTH = 20;
    /** Change Window Name's request for "leave the name as it is". */
    static final String KEEP_WINDOW_NAME = "@@@@@DO***NOTHING@@@@@";
    /** Cell size of the notional window, in pixels: 8 wide, 16 high. */
    static final int FONT_WIDTH = 8;
    static final int FONT_HEIGHT = 16;
    /** How long unregister() waits for requests still running in Java. */
    private static final long DRAIN_MILLIS = 10_000;

    private final Session session;
    private final char id;
    private final SessionListener listener = new Forwarder();

    // Requests and notifications in progress, and whether new ones are refused.
    private final Object activity = new Object();
    private int active;
    private boolean retired = true;
    private final ThreadLocal<int[]> depth = ThreadLocal.withInitial(() -> new int[1]);

    // The latest keystroke strings callers sent, for takeSentKeys().
    static final int SENT_KEYS_KEPT = 16;
    private final Deque<String> sentKeys = new ArrayDeque<>();
    /** The thread that entered the latest caller request. */
    private volatile Thread servingThread;

    // The identities of the callers that intercept close attempts or
    // keystrokes, or hold the keyboard reserved; guarded by this.
    private final Set<String> closeInterceptors = new HashSet<>();
    private final Set<String> keystrokeInterceptors = new HashSet<>();
    private final Set<String> reservers = new HashSet<>();

    // The session's window on the display (see SessionWindow), or none: a
    // headless emulator's window services work on a notional window.
    private volatile SessionWindow window;
    private String windowTitle;
    private boolean windowVisible = true;

    public HLLBridge(Session session) {
        this.session = session;
        this.id = session.shortName();
        this.windowTitle = session.profile().name() + " - " + id;
    }

    /** Opens the session's window on the display, titled with the window title. */
    public void openWindow() {
        if (window == null) {
            window = SessionWindow.open(session, windowTitle());
        }
    }

    /** Closes the session's window, if it has one. */
    public void closeWindow() {
        SessionWindow open = window;
        window = null;
        if (open != null) {
            open.close();
        }
    }

    public Session session() {
        return session;
    }

    // ---- natives: registration (instance methods act on this session) ----

    private native void cppRegisterEHLLAPI(Object sessionObject);

    private native void cppUnregisterEHLLAPI();

    /** The wanted letter when it is free in the session table, else the first free one, else 0. */
    static native char cppGetAvailableSessionID(char wanted);

    /** Bit i set: letter 'A' + i is free in the session table. */
    static native int cppGetAvailableSessionIDMap();

    /** The library's version text, "1.19 MMDDYY". */
    static native String cppGetVersion();

    // ---- natives: replies, valid only while a request of this session runs ----

    /** Kept for the library's interface; does nothing. */
    native void cppRetrieveEHLLAPIData();

    native void cppSetRawData(char sessionId, byte[] data, int length);

    native void cppSetRawDataUnicodePS(char sessionId, byte[] data, int length, int count);

    native void cppSetRawDataString(char sessionId, String text, int length);

    // ---- natives: notifications, valid while the session is registered ----

    native void cppSendOIANotifications(char sessionId, boolean inputInhibited);

    native void cppSendPSNotifications(char sessionId);

    native void cppInterruptWait(char sessionId);

    native void cppSendClosingNotifications(char sessionId);

    native boolean cppSendKeyNotifications(char sessionId, String key);

    // ---- natives: the callers, by identity ---------------------------------

    /** The identity of the caller being served; null when no request runs. */
    native String cppGetCallerID(char sessionId);

    /** True when the caller of that identity has ended (or its block went to a later process). */
    native boolean cppCallerEnded(char sessionId, String caller);

    // ---- seams over the natives (tests replace them) ----------------------

    void registerNative() {
        cppRegisterEHLLAPI(session);
    }

    void unregisterNative() {
        cppUnregisterEHLLAPI();
    }

    /** The letter the session table would give this session; 0 when all are taken. */
    char availableLetter() {
        return cppGetAvailableSessionID(id);
    }

    void reply(byte[] data) {
        reply(data, data.length);
    }

    /** The first {@code length} bytes of {@code data} go to the caller. */
    void reply(byte[] data, int length) {
        cppSetRawData(id, data, Math.min(length, MAX_REPLY));
    }

    /** UTF-16LE text of {@code count} positions, two bytes each, goes to the caller. */
    void replyUnicode(byte[] data, int count) {
        cppSetRawDataUnicodePS(id, data, data.length, count);
    }

    void notifyPresentationSpace() {
        cppSendPSNotifications(id);
    }

    void notifyOia(boolean inputInhibited) {
        cppSendOIANotifications(id, inputInhibited);
    }

    void notifyInputReleased() {
        cppInterruptWait(id);
    }

    void notifyCloseAttempt() {
        cppSendClosingNotifications(id);
    }

    boolean notifyKeystroke(String keyText) {
        return cppSendKeyNotifications(id, keyText);
    }

    /** The identity of the caller being served; "" when the library names none. */
    String currentCaller() {
        String caller = cppGetCallerID(id);
        return caller != null ? caller : "";
    }

    boolean callerEnded(String caller) {
        return cppCallerEnded(id, caller);
    }

    // ---- lifetime --------------------------------------------------------

    /**
     * Enters the session in the library's session table. Answers false, and
     * registers nothing, when another process holds the letter already.
     */
    public boolean register() {
        char free = availableLetter();
        if (free != id) {
            LOG.log(Level.WARNING, "session " + id + " is registered by another emulator; not offered to callers");
            return false;
        }
        session.addListener(listener);
        synchronized (activity) {
            retired = false;
        }
        registerNative();
        return true;
    }

    /**
     * Takes the session out of the session table: refuses new requests,
     * lets those in progress finish (up to ten seconds), then unregisters,
     * which releases callers still waiting with return code 9.
     */
    public void unregister() {
        synchronized (activity) {
            if (retired) {
                return;
            }
            retired = true;
            long deadline = System.currentTimeMillis() + DRAIN_MILLIS;
            int own = depth.get()[0];
            while (active > own) {
                long left = deadline - System.currentTimeMillis();
                if (left <= 0) {
                    LOG.log(Level.WARNING, "session " + id + ": unregistering with requests still running");
                    break;
                }
                try {
                    activity.wait(left);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    break;
                }
            }
        }
        session.removeListener(listener);
        unregisterNative();
        // The library releases every caller of the session; none holds anything here now.
        synchronized (this) {
            closeInterceptors.clear();
            keystrokeInterceptors.clear();
            reservers.clear();
        }
    }

    public boolean isRegistered() {
        synchronized (activity) {
            return !retired;
        }
    }

    /**
     * Runs one request or notification unless the bridge is retired. A
     * request the bridge cannot serve any more answers 1; an unexpected
     * failure answers 9, since no exception may reach the library's thread.
     */
    private long serve(LongSupplier body, long whenRetired) {
        if (!enter()) {
            return whenRetired;
        }
        try {
            return body.getAsLong();
        } catch (RuntimeException e) {
            return failed(e);
        } finally {
            leave();
        }
    }

    /** Counts a request or notification in; false when the bridge is retired. */
    private boolean enter() {
        synchronized (activity) {
            if (retired) {
                return false;
            }
            active++;
        }
        depth.get()[0]++;
        return true;
    }

    private void leave() {
        depth.get()[0]--;
        synchronized (activity) {
            active--;
            activity.notifyAll();
        }
    }

    private long failed(RuntimeException e) {
        LOG.log(Level.WARNING, "session " + id + ": request failed", e);
        return RC_SYSTEM_ERROR;
    }

    private long request(LongSupplier body) {
        servingThread = Thread.currentThread();
        return serve(body, RC_NOT_CONNECTED);
    }

    /**
     * Interrupts the thread that served the latest caller request (the
     * library's service thread of this session), as a stray
     * {@code Thread.interrupt()} elsewhere in the emulator would. False when
     * no request has been served yet. For diagnosis and tests: the library
     * must not let such an interrupt fail later requests.
     */
    public boolean interruptServingThread() {
        Thread thread = servingThread;
        if (thread == null) {
            return false;
        }
        thread.interrupt();
        return true;
    }

    private static long packed(int value) {
        return (long) value << 16;
    }

    private static String text(byte[] bytes) {
        return new String(bytes, StandardCharsets.ISO_8859_1);
    }

    // ---- methods the library calls: registration -------------------------

    /** The session's letter, 'A' to 'Z'. */
    public char getSessionID() {
        return id;
    }

    // ---- keystrokes ------------------------------------------------------

    /**
     * Keystrokes in mnemonic form ("ABC[enter]", brackets doubled for a
     * literal bracket). With retry, keys that meet the host's answer to an
     * earlier attention key wait for it. Plain result.
     */
    public long SendKeys(byte[] mnemonics, boolean retry) {
        return request(() -> {
            String keys = text(mnemonics);
            rememberSentKeys(keys, retry);
            return session.sendKeys(keys, retry).code();
        });
    }

    private void rememberSentKeys(String keys, boolean retry) {
        synchronized (sentKeys) {
            if (sentKeys.size() == SENT_KEYS_KEPT) {
                sentKeys.removeFirst();
            }
            sentKeys.addLast(retry + " " + keys);
        }
    }

    /**
     * The keystroke strings callers sent since the last call (the newest
     * {@link #SENT_KEYS_KEPT}), oldest first, each as the retry flag
     * ("true" or "false"), a blank and the keys in mnemonic form. Lets an
     * operator (or a test) see what the library made of a caller's string.
     */
    public List<String> takeSentKeys() {
        synchronized (sentKeys) {
            List<String> taken = List.copyOf(sentKeys);
            sentKeys.clear();
            return taken;
        }
    }

    // ---- presentation space and OIA ---------------------------------------

    /** Connect Presentation Space asks to raise the window; there is none to raise. Plain. */
    public long SendToFront() {
        return request(() -> RC_OK);
    }

    /** Packed: the number of positions. */
    public long GetPSSize() {
        // Spelt out rather than through request(): every Copy PS asks for
        // the size first, and a lambda would be garbage on each of them.
        if (!enter()) {
            return RC_NOT_CONNECTED;
        }
        try {
            return packed(session.screen().size());
        } catch (RuntimeException e) {
            return failed(e);
        } finally {
            leave();
        }
    }

    /** Packed: the number of rows. */
    public long GetPSSizeRows() {
        return request(() -> packed(session.screen().rows()));
    }

    /** Packed: the number of columns. */
    public long GetPSSizeCols() {
        return request(() -> packed(session.screen().columns()));
    }

    /** Packed: the cursor position. */
    public long QueryCursorLocation() {
        return request(() -> packed(session.screen().cursor()));
    }

    /** Plain. The keyboard stays reserved while any caller that reserved it has not released it. */
    public long Reserve() {
        return request(() -> {
            String caller = currentCaller();
            synchronized (this) {
                reservers.add(caller);
                session.reserve();
            }
            return RC_OK;
        });
    }

    /** Plain. Ends the calling caller's reservation; the keyboard is free once no caller holds one. */
    public long Release() {
        return request(() -> {
            String caller = currentCaller();
            synchronized (this) {
                reservers.remove(caller);
                if (reservers.isEmpty()) {
                    session.release();
                }
            }
            return RC_OK;
        });
    }

    /** The 104-byte OIA image goes to the caller. Plain. */
    public long CopyOIA() {
        return request(() -> {
            reply(session.oia().image());
            return RC_OK;
        });
    }

    /**
     * Copy PS and Copy PS to String: the text of the positions from
     * {@code position}, as many as {@code length} bytes hold (two bytes a
     * position with extended attributes), cut at the end of the screen.
     *
     * @param attributeMode 0 attribute positions as blanks, 1 as their attribute byte, 2 as nulls
     * @param display       true: non-display fields are copied as they are; false: as blanks
     * @param extendedMode  0 characters only; 1 or 2 each character followed by its extended attribute
     * When the positions hold characters outside Latin-1 and the caller's
     * length leaves two bytes for each position (without extended
     * attributes), the copy goes to the caller as Unicode text, one UTF-16
     * unit a position; otherwise such characters read as '?'.
     * Plain result: 0, 2 for a length that holds no position, 7 for a position off the screen.
     */
    public long CopyPS(int position, int length, int attributeMode, boolean display, int extendedMode) {
        // Spelt out rather than through request(), as GetPSSize: the copy
        // callers repeat most makes no garbage.
        if (!enter()) {
            return RC_NOT_CONNECTED;
        }
        try {
            PresentationSpace screen = session.screen();
            if (!screen.isValidPosition(position)) {
                return RC_INVALID_POSITION;
            }
            int stride = extendedMode != 0 ? 2 : 1;
            int count = length / stride;
            if (count < 1) {
                return RC_PARAMETER_ERROR;
            }
            if (stride == 1) {
                byte[] unicode = unicodeCopy(screen, position, count, length, attributeMode, display);
                if (unicode != null) {
                    replyUnicode(unicode, unicode.length / 2);
                    return RC_OK;
                }
            }
            byte[] buffer = COPY_BUFFER.get();
            int bytes = render(screen, position, count, attributeMode, display, extendedMode != 0, buffer);
            reply(buffer, bytes);
            return RC_OK;
        } catch (RuntimeException e) {
            return failed(e);
        } finally {
            leave();
        }
    }

    /**
     * The Unicode copy of a run of positions, or null when the run holds
     * only Latin-1 or {@code length} bytes cannot hold two a position.
     */
    static byte[] unicodeCopy(PresentationSpace screen, int position, int count, int length, int attributeMode,
                              boolean display) {
        synchronized (screen) {
            int available = Math.max(0, Math.min(count, screen.size() - position + 1));
            if ((long) length < 2L * available || !screen.holdsWideCharacters(position, available)) {
                return null;
            }
            byte[] bytes = screen.copyUnicode(position, available, CopyOptions.of(attributeMode == 1, display, false));
            if (attributeMode == 2) {
                for (int i = 0; i < available; i++) {
                    if (screen.isAttributePosition(position + i)) {
                        bytes[2 * i] = 0;
                        bytes[2 * i + 1] = 0;
                    }
                }
            }
            return bytes;
        }
    }

    /** Screen bytes of a run of positions under the copy options of the automation interfaces. */
    static byte[] render(PresentationSpace screen, int position, int count, int attributeMode, boolean display,
                         boolean extended) {
        synchronized (screen) {
            int available = Math.max(0, Math.min(count, screen.size() - position + 1));
            byte[] bytes = new byte[available * (extended ? 2 : 1)];
            render(screen, position, count, attributeMode, display, extended, bytes);
            return bytes;
        }
    }

    /**
     * As {@link #render(PresentationSpace, int, int, int, boolean, boolean)},
     * into {@code out} from its start, cut also where {@code out} is full.
     * Answers the number of bytes written.
     */
    static int render(PresentationSpace screen, int position, int count, int attributeMode, boolean display,
                      boolean extended, byte[] out) {
        CopyOptions options = CopyOptions.of(attributeMode == 1, display, extended);
        synchronized (screen) {
            int bytes = screen.copy(position, count, options, out);
            if (attributeMode == 2) {
                int stride = extended ? 2 : 1;
                for (int i = 0; i * stride < bytes; i++) {
                    if (screen.isAttributePosition(position + i)) {
                        out[i * stride] = 0;
                    }
                }
            }
            return bytes;
        }
    }

    /**
     * Search PS: the whole screen from position 1 forward, or from
     * {@code start} forward or ({@code backward} 1) backward. Packed: the
     * position of the match; 24 when there is none, 2 for an empty string, 7
     * for a start off the screen.
     */
    public long SearchPS(byte[] target, int start, int backward, boolean wholeSpace) {
        return request(() -> {
            PresentationSpace screen = session.screen();
            if (target.length == 0) {
                return RC_PARAMETER_ERROR;
            }
            int found;
            if (wholeSpace) {
                found = screen.search(text(target), 1, false);
            } else {
                if (!screen.isValidPosition(start)) {
                    return RC_INVALID_POSITION;
                }
                found = screen.search(text(target), start, backward == 1);
            }
            return found > 0 ? packed(found) : RC_NOT_FOUND;
        });
    }

    // ---- fields and cursor ----------------------------------------------

    /** Packed: the attribute byte of the field the position belongs to; 24 on an unformatted screen. */
    public long QueryFieldAttribute(int position) {
        return request(() -> {
            PresentationSpace screen = session.screen();
            if (!screen.isValidPosition(position)) {
                return RC_INVALID_POSITION;
            }
            return screen.fieldAt(position).map(field -> packed(field.attribute().toByte()))
                    .orElse((long) RC_NOT_FOUND);
        });
    }

    /** Plain: 0, 5 input inhibited or protected, 6 truncated, 7 bad position, 2 empty string. */
    public long CopyStringToPS(byte[] data, int position) {
        return request(() -> data.length == 0 ? RC_PARAMETER_ERROR
                : session.copyStringToPresentationSpace(position, text(data)).code());
    }

    /** Plain: as CopyStringToPS, and 24 on an unformatted screen. */
    public long CopyStringToField(byte[] data, int position) {
        return request(() -> data.length == 0 ? RC_PARAMETER_ERROR
                : session.copyStringToField(position, text(data)).code());
    }

    /**
     * Query Session Status: a 20-byte record in the 32-bit layout goes to
     * the caller. Byte 0 the letter; 1-3 zero; 4-11 the long name, which is
     * the letter followed by zeros, as in the Query Sessions entry the
     * library builds; 12 'D' (display session); 13 characteristics (0x80:
     * extended attributes); 14-15 rows, 16-17 columns, 18-19 the host code
     * page (37), little-endian. Plain.
     */
    public long QuerySessionStatus() {
        return request(() -> {
            reply(sessionStatus(session));
            return RC_OK;
        });
    }

    static byte[] sessionStatus(Session session) {
        ByteBuffer record = ByteBuffer.allocate(SESSION_STATUS_LENGTH).order(ByteOrder.LITTLE_ENDIAN);
        record.put((byte) session.shortName());
        record.put(new byte[3]);
        record.put((byte) session.shortName());
        record.put(new byte[7]);
        record.put((byte) 'D');
        record.put((byte) 0x80);
        record.putShort((short) session.screen().rows());
        record.putShort((short) session.screen().columns());
        record.putShort((short) 37);
        return record.array();
    }

    /**
     * Search Field: in the field of the position, from its start
     * ({@code wholeField}) or from the position forward or backward. Packed:
     * the position of the match; 24 when there is none or the screen is
     * unformatted.
     */
    public long SearchField(byte[] target, int position, int backward, boolean wholeField) {
        return request(() -> {
            PresentationSpace screen = session.screen();
            if (target.length == 0) {
                return RC_PARAMETER_ERROR;
            }
            if (!screen.isValidPosition(position)) {
                return RC_INVALID_POSITION;
            }
            int found = screen.searchField(text(target), position, backward == 1, wholeField);
            return found > 0 ? packed(found) : RC_NOT_FOUND;
        });
    }

    /**
     * Find Field Position: the first character position of the field the
     * code names ("  " or "T " this field, "N "/"P " next or previous, "NP",
     * "NU", "PP", "PU"). Packed; a field without character positions answers
     * 28 with its position.
     */
    public long FindFieldPosition(String code, int position) {
        return request(() -> findField(code, position).map(field -> field.length() == 0
                ? packed(field.start()) | RC_ZERO_LENGTH_FIELD
                : packed(field.start())).orElseGet(() -> fieldRefusal(code, position)));
    }

    /** Find Field Length: as FindFieldPosition with the field's length; 28 for a field without positions. */
    public long FindFieldLength(String code, int position) {
        return request(() -> findField(code, position).map(field -> field.length() == 0
                ? (long) RC_ZERO_LENGTH_FIELD
                : packed(field.length())).orElseGet(() -> fieldRefusal(code, position)));
    }

    private Optional<Field> findField(String code, int position) {
        Optional<FieldSelector> selector = FieldSelector.parse(code);
        PresentationSpace screen = session.screen();
        if (selector.isEmpty() || !screen.isValidPosition(position)) {
            return Optional.empty();
        }
        return screen.findField(selector.get(), position);
    }

    private long fieldRefusal(String code, int position) {
        if (FieldSelector.parse(code).isEmpty()) {
            return RC_PARAMETER_ERROR;
        }
        return session.screen().isValidPosition(position) ? RC_NOT_FOUND : RC_INVALID_POSITION;
    }

    /**
     * Copy Field to String: the field's text from the position (from its
     * start when the position is the attribute) to its end, as many
     * positions as {@code length} bytes hold. Plain: 0; 6 when the field did
     * not fit; 24 on an unformatted screen; 7, 2 as CopyPS.
     */
    public long CopyFieldToString(int position, int length, int attributeMode, boolean display, int extendedMode) {
        return request(() -> {
            PresentationSpace screen = session.screen();
            if (!screen.isValidPosition(position)) {
                return RC_INVALID_POSITION;
            }
            int stride = extendedMode != 0 ? 2 : 1;
            int room = length / stride;
            if (room < 1) {
                return RC_PARAMETER_ERROR;
            }
            byte[] bytes;
            boolean cut;
            synchronized (screen) {
                Optional<Field> found = screen.fieldAt(position);
                if (found.isEmpty()) {
                    return RC_NOT_FOUND;
                }
                Field field = found.get();
                int offset = field.contains(position) ? field.offsetOf(position) : 0;
                int available = Math.max(0, field.length() - offset);
                int count = Math.min(available, room);
                cut = count < available;
                bytes = new byte[count * stride];
                for (int i = 0; i < count; i++) {
                    byte[] one = render(screen, field.positionAt(offset + i), 1, attributeMode, display,
                            extendedMode != 0);
                    System.arraycopy(one, 0, bytes, i * stride, stride);
                }
            }
            reply(bytes);
            return cut ? RC_TRUNCATED : RC_OK;
        });
    }

    /** Plain: 0; 7 off the screen; 4 while the host is busy. */
    public long SetCursor(int position) {
        return request(() -> session.setCursor(position).code());
    }

    /** Convert Position: packed-like, the row from bit 16 up and the column in bits 0-15; 0 when off the screen. */
    public long ConvertPos(int position) {
        // A retired bridge answers "no position" (0, row 0): the code 1 of
        // other requests would read as column 1.
        return serve(() -> {
            PresentationSpace screen = session.screen();
            if (!screen.isValidPosition(position)) {
                return 0;
            }
            return packed(screen.rowOf(position)) | screen.columnOf(position);
        }, 0);
    }

    /**
     * Convert Row/Column: plain, the position; 0 when the row or column is
     * off the screen. A retired bridge answers -1, which the library turns
     * into "no position" (0, length 0): the code 1 would read as position 1.
     */
    public long ConvertRowCol(int row, int column) {
        return serve(() -> Math.max(0, session.screen().position(row, column)), -1);
    }

    // ---- intercepts ------------------------------------------------------

    /** Plain. From now on close attempts are held and reported to the intercepting callers. */
    public long StartCloseIntercept() {
        return holding(closeInterceptors, true);
    }

    /** Plain. Ends the calling caller's close intercept. */
    public long StopCloseIntercept() {
        return holding(closeInterceptors, false);
    }

    /** Plain. From now on the operator's keystrokes are offered to the intercepting callers. */
    public long StartKeystrokeIntercept() {
        return holding(keystrokeInterceptors, true);
    }

    /** Plain. Ends the calling caller's keystroke intercept. */
    public long StopKeystrokeIntercept() {
        return holding(keystrokeInterceptors, false);
    }

    /** Adds the calling caller to, or takes it out of, {@code holders}. */
    private long holding(Set<String> holders, boolean start) {
        return request(() -> {
            String caller = currentCaller();
            synchronized (this) {
                if (start) {
                    holders.add(caller);
                } else {
                    holders.remove(caller);
                }
            }
            return RC_OK;
        });
    }

    /**
     * Plain 0. Forgets the intercepts and reservation of every caller the
     * library answers has ended; the keyboard is freed when the last
     * reservation goes. The library calls it about once a second.
     */
    public long ForgetEndedCallers() {
        return serve(() -> {
            forgetEndedCallers();
            return RC_OK;
        }, RC_NOT_CONNECTED);
    }

    private void forgetEndedCallers() {
        Set<String> known;
        synchronized (this) {
            if (closeInterceptors.isEmpty() && keystrokeInterceptors.isEmpty() && reservers.isEmpty()) {
                return;
            }
            known = new HashSet<>(closeInterceptors);
            known.addAll(keystrokeInterceptors);
            known.addAll(reservers);
        }
        // The library is asked without this lock held: it takes its table locks.
        Set<String> ended = new HashSet<>();
        for (String caller : known) {
            if (callerEnded(caller)) {
                ended.add(caller);
            }
        }
        if (ended.isEmpty()) {
            return;
        }
        synchronized (this) {
            closeInterceptors.removeAll(ended);
            keystrokeInterceptors.removeAll(ended);
            boolean wasReserved = !reservers.isEmpty();
            reservers.removeAll(ended);
            if (wasReserved && reservers.isEmpty()) {
                session.release();
            }
        }
        LOG.log(Level.INFO, "session " + id + ": forgot what ended callers held: " + ended);
    }

    private synchronized boolean interceptingCloses() {
        return !closeInterceptors.isEmpty();
    }

    private synchronized boolean interceptingKeystrokes() {
        return !keystrokeInterceptors.isEmpty();
    }

    // ---- file transfer and macros -----------------------------------------

    /**
     * A text transfer with the demonstration host's file store (see
     * {@link HostFileStore}), with the keyboard inhibited while it runs; the
     * time-out is not needed there, as the store answers at once. Plain: 0
     * done, else the store's transfer code.
     */
    public long SendReceiveFile(int timeout, String pcFile, String hostFile, String options, boolean send,
                                boolean clear) {
        return request(() -> {
            int result = session.transfer(() -> hostFiles().transfer(pcFile, hostFile, options, send));
            LOG.log(Level.INFO, "session " + id + ": file transfer " + (send ? "to " : "from ") + hostFile
                    + " answered " + result);
            return result;
        });
    }

    /** Plays the macro file of that name from the profile's directory (see {@link MacroPlayer}). Packed. */
    public long StartMacro(byte[] name) {
        return request(() -> MacroPlayer.play(session, text(name)));
    }

    /**
     * The host's file store: the directory named by the system property
     * "palvero.hostfiles", else "hostfiles" beside the session's profile,
     * else in the temporary directory.
     */
    HostFileStore hostFiles() {
        String configured = System.getProperty("palvero.hostfiles");
        if (configured != null && !configured.isEmpty()) {
            return new HostFileStore(java.nio.file.Path.of(configured));
        }
        java.nio.file.Path base = session.profile().path()
                .map(p -> p.toAbsolutePath().getParent())
                .orElse(java.nio.file.Path.of(System.getProperty("java.io.tmpdir")));
        return new HostFileStore(base.resolve("hostfiles"));
    }

    // ---- window services: on the session's window, else the notional one ---

    /** The window title goes to the caller. Plain. */
    public long GetWindowTitle() {
        return request(() -> {
            reply(titleBytes());
            return RC_OK;
        });
    }

    /**
     * The window's edges go to the caller as the text " L<left> B<bottom>
     * R<right> T<top> W" in pixels, y growing downwards. The notional
     * window sits at 0,0 and holds the screen in 8x16 cells with the status
     * line under it. Plain.
     */
    public long QueryWindowCoordinates() {
        return request(() -> {
            SessionWindow shown = window;
            java.awt.Rectangle bounds;
            if (shown != null) {
                bounds = shown.bounds();
            } else {
                PresentationSpace screen = session.screen();
                bounds = new java.awt.Rectangle(0, 0, screen.columns() * FONT_WIDTH,
                        (screen.rows() + 1) * FONT_HEIGHT);
            }
            String edges = " L" + bounds.x + " B" + (bounds.y + bounds.height) + " R" + (bounds.x + bounds.width)
                    + " T" + bounds.y + " W";
            reply(edges.getBytes(StandardCharsets.ISO_8859_1));
            return RC_OK;
        });
    }

    /** Plain: 1 visible, 0 hidden. */
    public long IsVisible() {
        return request(() -> {
            SessionWindow shown = window;
            if (shown != null) {
                return shown.isVisible() ? 1 : 0;
            }
            synchronized (this) {
                return windowVisible ? 1 : 0;
            }
        });
    }

    /** Character cell width in bits 16-31, height in bits 0-15. */
    public long GetFontDimensions() {
        return request(() -> {
            SessionWindow shown = window;
            return shown != null ? shown.cellSize() : ((long) FONT_WIDTH << 16) | FONT_HEIGHT;
        });
    }

    /** Plain. */
    public long SetVisible(boolean visible) {
        return request(() -> {
            SessionWindow shown = window;
            if (shown != null) {
                shown.setVisible(visible);
            }
            synchronized (this) {
                windowVisible = visible;
            }
            return RC_OK;
        });
    }

    /**
     * Renames the window. With {@code reportOld} the title as it was goes to
     * the caller first, so that it can be restored later. Plain.
     */
    public long ChangeWindowName(byte[] name, boolean reportOld) {
        return request(() -> {
            String newTitle = text(name);
            if (reportOld) {
                reply(titleBytes());
            }
            if (!newTitle.equals(KEEP_WINDOW_NAME)) {
                synchronized (this) {
                    windowTitle = newTitle;
                }
                SessionWindow shown = window;
                if (shown != null) {
                    shown.setTitle(newTitle);
                }
            }
            return RC_OK;
        });
    }

    private byte[] titleBytes() {
        String title = windowTitle();
        title = title.length() > 127 ? title.substring(0, 127) : title;
        return title.getBytes(StandardCharsets.ISO_8859_1);
    }

    public synchronized String windowTitle() {
        return windowTitle;
    }

    @Override
    public String toString() {
        return "bridge of " + session;
    }

    // ---- session events to the library -----------------------------------

    /** Forwards the session's events to the library while the bridge is registered. */
    private final class Forwarder implements SessionListener {
        @Override
        public void presentationSpaceUpdated(Session changed) {
            serve(() -> {
                notifyPresentationSpace();
                return 0;
            }, 0);
        }

        @Override
        public void oiaUpdated(Session changed, boolean inputInhibited) {
            serve(() -> {
                notifyOia(inputInhibited);
                return 0;
            }, 0);
        }

        @Override
        public void inputInhibitedChanged(Session changed, boolean inputInhibited) {
            // A closing session frees its keyboard on the way out; callers
            // blocked in Wait must learn of the end (the unregistration),
            // not take it for input being accepted.
            if (!inputInhibited && !changed.isClosed()) {
                // Callers blocked in Wait go on once the keyboard is free.
                serve(() -> {
                    notifyInputReleased();
                    return 0;
                }, 0);
            }
        }

        @Override
        public boolean closeRequested(Session closing) {
            return serve(() -> {
                forgetEndedCallers();
                if (!interceptingCloses()) {
                    return 0;
                }
                notifyCloseAttempt();
                return 1;
            }, 0) == 1;
        }

        @Override
        public boolean keystroke(Session typedOn, String keyText) {
            if (!interceptingKeystrokes()) {
                return false;
            }
            return serve(() -> {
                forgetEndedCallers();
                return interceptingKeystrokes() && notifyKeystroke(keyText) ? 1 : 0;
            }, 0) == 1;
        }
    }
}
