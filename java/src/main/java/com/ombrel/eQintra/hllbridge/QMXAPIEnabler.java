// The session-management face of the emulator (QMXAPI): native callers
// start, stop, connect, disconnect and list the emulator's sessions through
// it. One enabler per emulator process registers with the native library,
// which then serves all callers on one service thread of its own and calls
// the public methods below there, one request at a time.
//
// Every method's first argument is the object given at registration; this
// enabler registers its SessionManager and works on the manager it holds.
// Variable-length answers (the session list, the workstation profile) go to
// the waiting caller through cppSetQMXAPIData before the method returns.
package com.ombrel.eQintra.hllbridge;

import com.ombrel.eQintra.emulator.SessionManager;
import com.ombrel.eQintra.emulator.SessionManager.SessionListEntry;
import java.lang.System.Logger.Level;
import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.Optional;
import java.util.function.Supplier;

public class QMXAPIEnabler {

    private static final System.Logger LOG = System.getLogger(QMXAPIEnabler.class.getName());

    /** The library's reply area holds 1,024 bytes: 128 session-list entries. */
    static final int MAX_LISTED_SESSIONS = 128;
    /** The caller's profile buffer holds 260 bytes with the terminating NUL. */
    static final int MAX_PROFILE_TEXT = 259;
    /** Answer of a start that failed inside this enabler (SessionManager.StartResult.FAILED). */
    static final long START_FAILED = SessionManager.StartResult.FAILED.code();

    private final SessionManager manager;
    private boolean registered;

    public QMXAPIEnabler(SessionManager manager) {
        this.manager = manager;
    }

    // ---- natives ---------------------------------------------------------

    private native void cppRegisterQMXAPI(Object registrationArgument);

    private native void cppUnregisterQMXAPI(Object unused);

    native void cppSetQMXAPIData(byte[] data, int length);

    // ---- seams over the natives (tests replace them) ----------------------

    void registerNative() {
        cppRegisterQMXAPI(manager);
    }

    void unregisterNative() {
        cppUnregisterQMXAPI(manager);
    }

    void reply(byte[] data) {
        cppSetQMXAPIData(data, data.length);
    }

    // ---- lifetime --------------------------------------------------------

    /** Starts the library's QMXAPI service for this process. Once only until unregister(). */
    public synchronized void register() {
        if (registered) {
            throw new IllegalStateException("the session-management interface is registered already");
        }
        registerNative();
        registered = true;
    }

    /** Ends the service; callers still waiting are released by the library. */
    public synchronized void unregister() {
        if (registered) {
            registered = false;
            unregisterNative();
        }
    }

    // ---- methods the library calls ------------------------------------------

    /**
     * Starts a session from a profile (a name in the profile directory or a
     * path). The short name is one letter; empty lets the profile or the
     * first free letter decide. The window mode has no meaning headless.
     * Answers 0 started, 1 bad short name, 2 already running, 3 failed.
     */
    public long startSession(Object registration, String profile, String shortName, int windowMode) {
        try {
            return manager.start(profile == null ? "" : profile, shortName == null ? "" : shortName).code();
        } catch (RuntimeException e) {
            LOG.log(Level.WARNING, "start of session " + shortName + " from " + profile + " failed", e);
            return START_FAILED;
        }
    }

    /** True when the session was running and is now stopped. */
    public boolean stopSession(Object registration, String shortName) {
        return guarded(() -> letter(shortName).map(manager::stop).orElse(false), false);
    }

    /** True when the session was disconnected and is now connected to its host. */
    public boolean connectSession(Object registration, String shortName) {
        return guarded(() -> letter(shortName).map(manager::connect).orElse(false), false);
    }

    /** True when the session was connected and is now disconnected. */
    public boolean disconnectSession(Object registration, String shortName) {
        return guarded(() -> letter(shortName).map(manager::disconnect).orElse(false), false);
    }

    /**
     * The session's status word: 1 running, plus 2 while connected; 0 when
     * there is no such session. (The library adds 4 for a session that its
     * callers can reach.)
     */
    public long queryEmulatorStatus(Object registration, String shortName) {
        return letter(shortName).map(manager::statusWord).orElse(0);
    }

    /**
     * The running sessions: hands their 8-byte entries (letter, three zero
     * bytes, status word) to the library and answers how many there are, at
     * most 128.
     */
    public long querySessionList(Object registration) {
        List<SessionListEntry> entries = manager.sessionList();
        if (entries.size() > MAX_LISTED_SESSIONS) {
            entries = entries.subList(0, MAX_LISTED_SESSIONS);
        }
        reply(SessionListEntry.encode(entries));
        return entries.size();
    }

    /**
     * The workstation profile of a running session (the path of its profile
     * file), NUL-terminated, to the library; false when there is no such
     * session.
     */
    public boolean queryProfile(Object registration, String shortName) {
        Optional<String> profile = letter(shortName).flatMap(manager::workstationProfile);
        if (profile.isEmpty()) {
            return false;
        }
        byte[] text = profile.get().getBytes(StandardCharsets.ISO_8859_1);
        int length = Math.min(text.length, MAX_PROFILE_TEXT);
        byte[] terminated = new byte[length + 1];
        System.arraycopy(text, 0, terminated, 0, length);
        reply(terminated);
        return true;
    }

    /** No exception may reach the library's service thread: a failure answers the given value. */
    private static <T> T guarded(Supplier<T> body, T onFailure) {
        try {
            return body.get();
        } catch (RuntimeException e) {
            LOG.log(Level.WARNING, "session-management request failed", e);
            return onFailure;
        }
    }

    private static Optional<Character> letter(String shortName) {
        if (shortName == null || shortName.length() != 1) {
            return Optional.empty();
        }
        char c = Character.toUpperCase(shortName.charAt(0));
        return c >= 'A' && c <= 'Z' ? Optional.of(c) : Optional.empty();
    }
}
