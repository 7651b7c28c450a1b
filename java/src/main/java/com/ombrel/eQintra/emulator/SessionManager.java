// The emulator's sessions, by short name: starting them from profiles,
// stopping, connecting and disconnecting them, and the status and list
// queries of the session-management interface. Thread-safe.
package com.ombrel.eQintra.emulator;

import java.io.IOException;
import java.lang.System.Logger.Level;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import java.util.TreeMap;
import java.util.concurrent.CopyOnWriteArrayList;

public final class SessionManager implements AutoCloseable {

    private static final System.Logger LOG = System.getLogger(SessionManager.class.getName());

    /** The answers of a start, with the code the session-management interface reports. */
    public enum StartResult {
        STARTED(0),
        /** The short name is not a letter A to Z. */
        INVALID_SHORT_NAME(1),
        /** A session with that short name is running already. */
        ALREADY_STARTED(2),
        /** The profile is missing or bad, or no short name is free. */
        FAILED(3);

        private final int code;

        StartResult(int code) {
            this.code = code;
        }

        public int code() {
            return code;
        }
    }

    /** Observers of sessions coming and going, for instance the bridge registering them. */
    public interface Listener {
        default void sessionStarted(Session session) {
        }

        default void sessionStopped(Session session) {
        }
    }

    /** One entry of the session list: the short name and its status word. */
    public record SessionListEntry(char shortName, int status) {
        public static final int ENCODED_LENGTH = 8;

        /** Byte 0 the short name, bytes 1-3 zero, bytes 4-7 the status word, little-endian. */
        public void encodeInto(ByteBuffer buffer) {
            buffer.order(ByteOrder.LITTLE_ENDIAN);
            buffer.put((byte) shortName).put((byte) 0).put((byte) 0).put((byte) 0).putInt(status);
        }

        public static byte[] encode(List<SessionListEntry> entries) {
            ByteBuffer buffer = ByteBuffer.allocate(entries.size() * ENCODED_LENGTH);
            entries.forEach(entry -> entry.encodeInto(buffer));
            return buffer.array();
        }
    }

    private final ProfileDirectory profiles;
    private final TreeMap<Character, Session> sessions = new TreeMap<>();
    private final List<Listener> listeners = new CopyOnWriteArrayList<>();

    public SessionManager(ProfileDirectory profiles) {
        this.profiles = profiles;
    }

    public ProfileDirectory profiles() {
        return profiles;
    }

    public void addListener(Listener listener) {
        listeners.add(listener);
    }

    /**
     * Starts a session from a profile named in the profile directory (or by
     * path). The short name is one letter, case ignored; an empty or blank
     * one takes the profile's preferred letter, else the first free letter.
     */
    public StartResult start(String profileName, String shortName) {
        Profile profile;
        try {
            profile = profiles.load(profileName);
        } catch (IOException | IllegalArgumentException e) {
            LOG.log(Level.WARNING, "cannot start session from profile " + profileName + ": " + e.getMessage());
            return StartResult.FAILED;
        }
        return start(profile, shortName);
    }

    /** Starts a session from a profile already in hand; short name as for {@link #start(String, String)}. */
    public StartResult start(Profile profile, String shortName) {
        Character requested = null;
        if (shortName != null && !shortName.isBlank()) {
            try {
                requested = Profile.parseShortName(shortName.strip());
            } catch (IllegalArgumentException e) {
                return StartResult.INVALID_SHORT_NAME;
            }
        }
        Session session;
        synchronized (this) {
            Character letter = requested != null ? requested : profile.preferredSession().orElse(null);
            if (letter == null) {
                letter = firstFreeLetter();
                if (letter == null) {
                    return StartResult.FAILED;
                }
            }
            if (sessions.containsKey(letter)) {
                return StartResult.ALREADY_STARTED;
            }
            session = new Session(letter, profile, profile.host().equals("demo") ? new DemoHost(profile.hostOptions()) : null);
            sessions.put(letter, session);
            session.addListener(new SessionListener() {
                @Override
                public void sessionClosed(Session closed) {
                    forget(closed);
                }
            });
        }
        listeners.forEach(listener -> listener.sessionStarted(session));
        if (profile.connectAtStart()) {
            session.connect();
        }
        return StartResult.STARTED;
    }

    /** Stops a session; false when there is none of that name. */
    public boolean stop(char shortName) {
        Optional<Session> session = session(shortName);
        session.ifPresent(Session::close);
        return session.isPresent();
    }

    public boolean connect(char shortName) {
        return session(shortName).map(Session::connect).orElse(false);
    }

    public boolean disconnect(char shortName) {
        return session(shortName).map(Session::disconnect).orElse(false);
    }

    public synchronized Optional<Session> session(char shortName) {
        return Optional.ofNullable(sessions.get(Character.toUpperCase(shortName)));
    }

    /** The running sessions in letter order. */
    public synchronized List<Session> sessions() {
        return new ArrayList<>(sessions.values());
    }

    /** The status word of a session: 0 when it is not running; see {@link Session#statusWord()}. */
    public int statusWord(char shortName) {
        return session(shortName).map(Session::statusWord).orElse(0);
    }

    public List<SessionListEntry> sessionList() {
        return sessions().stream().map(s -> new SessionListEntry(s.shortName(), s.statusWord())).toList();
    }

    /** The workstation profile of a running session: the path of the profile it was started from. */
    public Optional<String> workstationProfile(char shortName) {
        return session(shortName).map(s -> s.profile().workstationProfileText());
    }

    /** Stops every session. */
    @Override
    public void close() {
        sessions().forEach(Session::close);
    }

    private Character firstFreeLetter() {
        for (char letter = 'A'; letter <= 'Z'; letter++) {
            if (!sessions.containsKey(letter)) {
                return letter;
            }
        }
        return null;
    }

    private void forget(Session session) {
        boolean removed;
        synchronized (this) {
            removed = sessions.remove(session.shortName(), session);
        }
        if (removed) {
            listeners.forEach(listener -> listener.sessionStopped(session));
        }
    }
}
