package com.ombrel.eQintra.hllbridge;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.ProfileDirectory;
import com.ombrel.eQintra.emulator.Session;
import com.ombrel.eQintra.emulator.SessionManager;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The session-management answers, and sessions offered to EHLLAPI as they come and go. */
class QMXAPIEnablerTest {

    @TempDir
    Path dir;
    private SessionManager manager;
    private RecordingEnabler enabler;
    private final List<RecordingBridge> bridges = new CopyOnWriteArrayList<>();

    /** The enabler with its natives replaced by a record. */
    static final class RecordingEnabler extends QMXAPIEnabler {
        final List<byte[]> replies = new CopyOnWriteArrayList<>();
        int registrations;
        int unregistrations;

        RecordingEnabler(SessionManager manager) {
            super(manager);
        }

        @Override
        void registerNative() {
            registrations++;
        }

        @Override
        void unregisterNative() {
            unregistrations++;
        }

        @Override
        void reply(byte[] data) {
            replies.add(data.clone());
        }

        byte[] lastReply() {
            return replies.get(replies.size() - 1);
        }
    }

    @BeforeEach
    void setUp() throws IOException {
        Files.writeString(dir.resolve("demo.prf"), "hostDelay=0\nsession=A\n");
        Files.writeString(dir.resolve("offline.prf"), "host=none\n");
        manager = new SessionManager(new ProfileDirectory(dir));
        enabler = new RecordingEnabler(manager);
        new SessionBridges(session -> {
            RecordingBridge bridge = new RecordingBridge(session);
            bridges.add(bridge);
            return bridge;
        }).attach(manager);
    }

    @AfterEach
    void tearDown() {
        manager.close();
    }

    private RecordingBridge bridgeOf(char letter) {
        return bridges.stream().filter(b -> b.getSessionID() == letter).findFirst().orElseThrow();
    }

    @Test
    void startAnswersTheSessionManagersCodes() {
        assertEquals(0, enabler.startSession(manager, "demo", "b", 1));
        assertEquals(2, enabler.startSession(manager, "offline", "B", 1));
        assertEquals(1, enabler.startSession(manager, "demo", "7", 1));
        assertEquals(3, enabler.startSession(manager, "missing", "C", 1));
        assertEquals(0, enabler.startSession(manager, "demo", "", 0), "the profile's letter A");
        assertEquals(List.of('A', 'B'), manager.sessions().stream().map(Session::shortName).toList());
    }

    @Test
    void startedSessionsAreRegisteredAndStoppedOnesUnregistered() {
        enabler.startSession(manager, "demo", "A", 1);
        enabler.startSession(manager, "offline", "C", 1);
        assertTrue(bridgeOf('A').isRegistered());
        assertTrue(bridgeOf('C').isRegistered());

        assertTrue(enabler.stopSession(manager, "c"));
        assertFalse(enabler.stopSession(manager, "C"));
        assertFalse(bridgeOf('C').isRegistered());
        assertEquals(1, bridgeOf('C').count("unregister"));
        assertTrue(bridgeOf('A').isRegistered());
        assertEquals(0, bridgeOf('A').count("unregister"));
    }

    @Test
    void sessionListEntriesCarryLetterAndStatusWord() {
        enabler.startSession(manager, "demo", "A", 1);
        enabler.startSession(manager, "offline", "D", 1);
        assertEquals(2, enabler.querySessionList(manager));
        ByteBuffer list = ByteBuffer.wrap(enabler.lastReply()).order(ByteOrder.LITTLE_ENDIAN);
        assertEquals(16, list.capacity());
        assertEquals('A', list.get(0));
        assertArrayEquals(new byte[3], new byte[] {list.get(1), list.get(2), list.get(3)});
        assertEquals(Session.STATUS_STARTED | Session.STATUS_CONNECTED, list.getInt(4));
        assertEquals('D', list.get(8));
        assertEquals(Session.STATUS_STARTED, list.getInt(12));

        assertTrue(enabler.disconnectSession(manager, "a"));
        assertFalse(enabler.disconnectSession(manager, "A"));
        assertEquals(Session.STATUS_STARTED, enabler.queryEmulatorStatus(manager, "A"));
        assertTrue(enabler.connectSession(manager, "A"));
        assertEquals(Session.STATUS_STARTED | Session.STATUS_CONNECTED, enabler.queryEmulatorStatus(manager, "a"));
        assertEquals(0, enabler.queryEmulatorStatus(manager, "Q"));
        assertEquals(0, enabler.queryEmulatorStatus(manager, ""));
    }

    @Test
    void anEmptyListStillReplies() {
        assertEquals(0, enabler.querySessionList(manager));
        assertEquals(0, enabler.lastReply().length);
    }

    @Test
    void workstationProfileIsTheProfilePathNulTerminated() {
        enabler.startSession(manager, "demo", "A", 1);
        assertTrue(enabler.queryProfile(manager, "a"));
        byte[] reply = enabler.lastReply();
        String expected = dir.resolve("demo.prf").toString();
        assertEquals(expected.length() + 1, reply.length);
        assertEquals(expected, new String(reply, 0, reply.length - 1, StandardCharsets.ISO_8859_1));
        assertEquals(0, reply[reply.length - 1]);

        int replies = enabler.replies.size();
        assertFalse(enabler.queryProfile(manager, "B"));
        assertEquals(replies, enabler.replies.size());
    }

    @Test
    void aLongProfilePathIsCutToFitTheCallersBuffer() throws IOException {
        Path deep = Files.createDirectories(dir.resolve("d".repeat(120)).resolve("e".repeat(120)));
        Files.writeString(deep.resolve("long.prf"), "host=none\n");
        assertEquals(0, enabler.startSession(manager, deep.resolve("long.prf").toString(), "L", 1));
        assertTrue(enabler.queryProfile(manager, "L"));
        assertEquals(260, enabler.lastReply().length);
        assertEquals(0, enabler.lastReply()[259]);
    }

    @Test
    void registersOnceUntilUnregistered() {
        enabler.register();
        assertThrows(IllegalStateException.class, enabler::register);
        enabler.unregister();
        enabler.unregister();
        enabler.register();
        assertEquals(2, enabler.registrations);
        assertEquals(1, enabler.unregistrations);
    }
}
