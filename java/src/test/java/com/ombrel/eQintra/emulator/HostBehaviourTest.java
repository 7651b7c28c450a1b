package com.ombrel.eQintra.emulator;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.time.Duration;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.function.Predicate;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/** The demonstration host's behaviours that a profile turns on, seen through a session. */
class HostBehaviourTest {

    private static final Duration WAIT = Duration.ofSeconds(10);

    private Session session;
    private PresentationSpace screen;

    @AfterEach
    void tearDown() {
        if (session != null) {
            session.close();
        }
    }

    private void start(String... lines) {
        Profile profile = Profile.parse("test", null, List.of(lines));
        session = new Session('A', profile, new DemoHost(profile.hostOptions()));
        screen = session.screen();
        assertTrue(session.connect());
    }

    private void keysAndWait(String keys) throws InterruptedException {
        assertEquals(ResultCode.OK, session.sendKeys(keys, false), keys);
        assertTrue(session.awaitInputAllowed(WAIT), "host did not answer " + keys);
    }

    private void signOn() throws InterruptedException {
        keysAndWait("demo01[tab]palvero[enter]");
        assertTrue(screen.rowText(1).contains("Main Menu"), screen.rowText(1));
    }

    /** Waits until the screen, read under its lock at each update, satisfies the test. */
    private boolean awaitScreen(Predicate<PresentationSpace> test) throws InterruptedException {
        CountDownLatch seen = new CountDownLatch(1);
        SessionListener listener = new SessionListener() {
            @Override
            public void presentationSpaceUpdated(Session changed) {
                synchronized (screen) {
                    if (test.test(screen)) {
                        seen.countDown();
                    }
                }
            }
        };
        session.addListener(listener);
        try {
            synchronized (screen) {
                if (test.test(screen)) {
                    return true;
                }
            }
            return seen.await(WAIT.toMillis(), TimeUnit.MILLISECONDS);
        } finally {
            session.removeListener(listener);
        }
    }

    @ParameterizedTest(name = "{0} part(s)")
    @ValueSource(ints = {1, 2, 3})
    void anAnswerInPartsReleasesTheKeyboardOnlyWithItsLastPart(int parts) throws InterruptedException {
        start("hostDelay=20", "answerParts=" + parts);
        List<String> whileLocked = new CopyOnWriteArrayList<>();
        List<String> atRelease = new CopyOnWriteArrayList<>();
        CountDownLatch released = new CountDownLatch(1);
        session.addListener(new SessionListener() {
            @Override
            public void presentationSpaceUpdated(Session changed) {
                synchronized (screen) {
                    if (session.oia().isInputInhibited()) {
                        whileLocked.add(screen.rowText(1) + "|" + screen.rowText(DemoHost.KEYS_ROW));
                    }
                }
            }

            @Override
            public void inputInhibitedChanged(Session changed, boolean inhibited) {
                if (!inhibited) {
                    atRelease.add(screen.rowText(1) + "|" + screen.rowText(DemoHost.KEYS_ROW));
                    released.countDown();
                }
            }
        });
        signOn();
        // The listeners hear of the release on the host thread, after the OIA has changed.
        assertTrue(released.await(WAIT.toMillis(), TimeUnit.MILLISECONDS));
        assertEquals(parts - 1, whileLocked.size(), whileLocked.toString());
        for (String partial : whileLocked) {
            assertFalse(partial.contains("F3=Sign off"), "the last rows came before the last part: " + partial);
        }
        if (parts > 1) {
            assertTrue(whileLocked.get(0).contains("Main Menu"), "the first part paints the top rows");
        }
        assertEquals(1, atRelease.size());
        assertTrue(atRelease.get(0).contains("Main Menu") && atRelease.get(0).contains("F3=Sign off"));
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "[attn]|Sign On|Attention received: the request in progress was interrupted.",
        "[sysreq]|Sign On|Session ended by system request.",
    })
    void attnAndSystemRequestReplaceTheAnswerPending(String key, String panel, String message)
            throws InterruptedException {
        start("hostDelay=300");
        assertEquals(ResultCode.OK, session.sendKeys("demo01[tab]palvero[enter]", false));
        assertEquals(ResultCode.OK, session.sendKeys(key, false));
        assertTrue(session.awaitInputAllowed(WAIT));
        assertTrue(screen.rowText(1).contains(panel), screen.rowText(1));
        assertEquals(message, screen.rowText(DemoHost.MESSAGE_ROW).strip());
    }

    @Test
    void theMenuClockIsRewrittenByTheHostOnItsOwn() throws InterruptedException {
        start("hostDelay=0", "clock=100");
        signOn();
        String first = screen.text(screen.position(DemoHost.CLOCK_ROW, DemoHost.CLOCK_COLUMN), 15);
        assertTrue(first.startsWith("Time "), first);
        long version = screen.version();
        assertTrue(awaitScreen(s -> s.version() > version + 1), "no unsolicited writes");
    }

    @Test
    void aBroadcastArrivesAfterSignOnWithoutAKey() throws InterruptedException {
        start("hostDelay=0", "broadcast=200");
        signOn();
        assertTrue(awaitScreen(s -> s.rowText(DemoHost.MESSAGE_ROW).strip().equals(DemoHost.BROADCAST_TEXT)));
        assertFalse(session.oia().isInputInhibited());
    }

    @Test
    void theRatesScreenSwitchesTo27By132AndBack() throws InterruptedException {
        start("hostDelay=0", "wideScreen=yes");
        signOn();
        assertTrue(screen.rowText(10).contains("3. Exchange rates"));
        keysAndWait("3[enter]");
        assertEquals(27, screen.rows());
        assertEquals(132, screen.columns());
        String euro = screen.rowText(DemoHost.RATES_FIRST_ROW);
        assertTrue(euro.contains("EUR  \u20ac"), euro);
        assertTrue(screen.holdsWideCharacters(1, screen.size()));
        byte[] single = screen.copy(screen.position(DemoHost.RATES_FIRST_ROW, 7), 1, CopyOptions.SCREEN_TEXT);
        assertEquals(PresentationSpace.SUBSTITUTE, single[0]);
        keysAndWait("[pf3]");
        assertEquals(24 * 80, screen.size());
        assertTrue(screen.rowText(1).contains("Main Menu"));
        assertFalse(screen.holdsWideCharacters(1, screen.size()));
    }

    @Test
    void aNegativePaymentLocksTheKeyboardUntilReset() throws InterruptedException {
        start("hostDelay=0", "payments=yes", "terminal=5250");
        signOn();
        keysAndWait("4[enter]");
        keysAndWait("1001001250[field+][enter]");
        assertEquals("Payment of 12.50 posted to customer 100100.", screen.rowText(DemoHost.MESSAGE_ROW).strip());

        assertEquals(ResultCode.OK, session.sendKeys("1001001250[field-][enter]", false));
        long deadline = System.nanoTime() + WAIT.toNanos();
        while (session.oia().inhibit() == Inhibit.SYSTEM_WAIT && System.nanoTime() < deadline) {
            Thread.sleep(10);
        }
        assertEquals(Inhibit.PROGRAM_CHECK, session.oia().inhibit());
        assertTrue(screen.rowText(DemoHost.MESSAGE_ROW).contains("negative amount"));
        assertEquals(ResultCode.INHIBITED, session.sendKeys("1", false));
        assertEquals(ResultCode.OK, session.sendKeys("[reset][pf3]", false));
        assertTrue(session.awaitInputAllowed(WAIT));
        assertTrue(screen.rowText(1).contains("Main Menu"));
    }

    @ParameterizedTest(name = "selection {0}")
    @ValueSource(strings = {"3", "4"})
    void withoutTheirSwitchesTheExtraScreensAreNotOffered(String selection) throws InterruptedException {
        start("hostDelay=0");
        signOn();
        assertEquals("", screen.rowText(10).strip() + screen.rowText(11).strip());
        keysAndWait(selection + "[enter]");
        assertEquals("Selection " + selection + " is not valid.", screen.rowText(DemoHost.MESSAGE_ROW).strip());
        assertEquals(Duration.ZERO, new DemoHost().tickInterval());
    }

    @Test
    void aStoppedSessionRefusesKeys() {
        start("hostDelay=0");
        session.close();
        assertEquals(ResultCode.NOT_CONNECTED, session.sendKeys("A", false));
        assertEquals(ResultCode.NOT_CONNECTED, session.operatorKeys("A"));
        assertEquals(ResultCode.NOT_CONNECTED, session.copyStringToPresentationSpace(1, "A"));
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "terminal=5250|T5250|PT0S|1|PT0S|PT0S|false|false",
        "answerParts=3|T3270|PT0S|3|PT0S|PT0S|false|false",
        "hostDelayJitter=250|T3270|PT0.25S|1|PT0S|PT0S|false|false",
        "clock=300|T3270|PT0S|1|PT0.3S|PT0S|false|false",
        "broadcast=1500|T3270|PT0S|1|PT0S|PT1.5S|false|false",
        "wideScreen=yes|T3270|PT0S|1|PT0S|PT0S|true|false",
        "payments=on|T3270|PT0S|1|PT0S|PT0S|false|true",
        "title=x|T3270|PT0S|1|PT0S|PT0S|false|false",
    })
    void profileKeysChooseTheBehaviours(String line, TerminalType terminal, Duration jitter, int parts, Duration clock,
                                        Duration broadcast, boolean wide, boolean payments) {
        Profile profile = Profile.parse("p", null, List.of(line));
        assertEquals(terminal, profile.terminal());
        assertEquals(new HostOptions(jitter, parts, clock, broadcast, wide, payments), profile.hostOptions());
    }

    @ParameterizedTest(name = "{0}")
    @ValueSource(strings = {"terminal=3279", "answerParts=0", "answerParts=4", "clock=-1", "broadcast=x",
                            "wideScreen=maybe", "hostDelayJitter=60001"})
    void badBehaviourValuesAreRefused(String line) {
        assertThrows(Profile.InvalidProfileException.class, () -> Profile.parse("p", null, List.of(line)));
    }
}
