package com.ombrel.eQintra.emulator;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.SessionManager.SessionListEntry;
import com.ombrel.eQintra.emulator.SessionManager.StartResult;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class SessionManagerTest {

    @TempDir
    Path dir;
    private SessionManager manager;
    private final List<String> events = new CopyOnWriteArrayList<>();

    @BeforeEach
    void setUp() throws IOException {
        Files.writeString(dir.resolve("payroll.prf"), "model=3\nsession=P\nhostDelay=0\n");
        Files.writeString(dir.resolve("orders.prf"), "hostDelay=0\n");
        Files.writeString(dir.resolve("offline.prf"), "host=none\n");
        Files.writeString(dir.resolve("broken.prf"), "model=9\n");
        manager = new SessionManager(new ProfileDirectory(dir));
        manager.addListener(new SessionManager.Listener() {
            @Override
            public void sessionStarted(Session session) {
                events.add("started " + session.shortName());
            }

            @Override
            public void sessionStopped(Session session) {
                events.add("stopped " + session.shortName());
            }
        });
    }

    @AfterEach
    void tearDown() {
        manager.close();
    }

    @Test
    void shortNameComesFromTheCallerThenTheProfileThenTheFirstFreeLetter() {
        assertEquals(StartResult.STARTED, manager.start("orders", "b"));
        assertEquals(StartResult.STARTED, manager.start("payroll", ""));
        assertEquals(StartResult.STARTED, manager.start("orders", " "));
        assertEquals(List.of('A', 'B', 'P'),
                manager.sessions().stream().map(Session::shortName).toList());
        assertEquals(TerminalModel.MODEL_3, manager.session('p').orElseThrow().profile().model());
        assertEquals(List.of("started B", "started P", "started A"), events);
    }

    @Test
    void startRefusalsHaveTheirOwnAnswers() {
        assertEquals(StartResult.STARTED, manager.start("orders", "A"));
        assertEquals(StartResult.ALREADY_STARTED, manager.start("payroll", "A"));
        assertEquals(StartResult.INVALID_SHORT_NAME, manager.start("orders", "7"));
        assertEquals(StartResult.INVALID_SHORT_NAME, manager.start("orders", "AB"));
        assertEquals(StartResult.FAILED, manager.start("missing", "C"));
        assertEquals(StartResult.FAILED, manager.start("broken", "C"));
        assertEquals(1, manager.sessions().size());
    }

    @Test
    void statusWordsAndTheEncodedSessionList() {
        manager.start("orders", "A");
        manager.start("offline", "C");
        assertEquals(Session.STATUS_STARTED | Session.STATUS_CONNECTED, manager.statusWord('A'));
        assertEquals(Session.STATUS_STARTED, manager.statusWord('C'));
        assertEquals(0, manager.statusWord('D'));
        assertFalse(manager.connect('C'));

        List<SessionListEntry> list = manager.sessionList();
        assertEquals(List.of(new SessionListEntry('A', 3), new SessionListEntry('C', 1)), list);
        assertArrayEquals(new byte[] {'A', 0, 0, 0, 3, 0, 0, 0, 'C', 0, 0, 0, 1, 0, 0, 0},
                SessionListEntry.encode(list));

        assertTrue(manager.disconnect('A'));
        assertEquals(Session.STATUS_STARTED, manager.statusWord('A'));
        assertFalse(manager.disconnect('A'));
        assertTrue(manager.connect('A'));
        assertEquals(3, manager.statusWord('A'));
    }

    @Test
    void workstationProfileIsThePathOfTheProfileFile() {
        manager.start("payroll", "");
        assertEquals(dir.resolve("payroll.prf").toString(), manager.workstationProfile('P').orElseThrow());
        assertTrue(manager.workstationProfile('Q').isEmpty());
    }

    @Test
    void stoppingAndClosingRemoveTheSession() {
        manager.start("orders", "A");
        manager.start("orders", "B");
        Session b = manager.session('B').orElseThrow();
        assertTrue(manager.stop('A'));
        assertFalse(manager.stop('A'));
        assertTrue(b.requestClose());
        assertTrue(manager.sessions().isEmpty());
        assertEquals(List.of("started A", "started B", "stopped A", "stopped B"), events);
        // A stopped letter can be used again.
        assertEquals(StartResult.STARTED, manager.start("orders", "A"));
    }
}
