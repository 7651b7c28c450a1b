package com.ombrel.eQintra.emulator;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;

/** A session driven through its keyboard against the demonstration host. */
class SessionTest {

    private static final Duration HOST_DELAY = Duration.ofMillis(50);
    private static final Duration WAIT = Duration.ofSeconds(5);

    private Session session;
    private PresentationSpace screen;

    @BeforeEach
    void setUp() {
        Profile profile = Profile.defaults("test").with(TerminalModel.MODEL_2, HOST_DELAY, 'A');
        session = new Session('A', profile, new DemoHost());
        screen = session.screen();
        assertTrue(session.connect());
    }

    @AfterEach
    void tearDown() {
        session.close();
    }

    private void keysAndWait(String keys) throws InterruptedException {
        assertEquals(ResultCode.OK, session.sendKeys(keys, false));
        assertTrue(session.awaitInputAllowed(WAIT), "host did not answer");
    }

    private void signOn() throws InterruptedException {
        keysAndWait("demo01[tab]palvero[enter]");
        assertTrue(screen.rowText(1).contains("Main Menu"), screen.rowText(1));
    }

    private String messageLine() {
        return screen.rowText(DemoHost.MESSAGE_ROW).strip();
    }

    @Nested
    class SignOn {
        @Test
        void validSignOnReachesTheMenuAfterTheHostDelay() throws InterruptedException {
            assertTrue(screen.rowText(1).contains("Sign On"));
            long start = System.nanoTime();
            assertEquals(ResultCode.OK, session.sendKeys("demo01[tab]palvero[enter]", false));

            // While the host works the keyboard is locked and the old screen stays.
            assertEquals(Inhibit.SYSTEM_WAIT, session.oia().inhibit());
            assertEquals(0x20, session.oia().image()[91]);
            assertTrue(screen.rowText(1).contains("Sign On"));

            assertTrue(session.awaitInputAllowed(WAIT));
            assertTrue(Duration.ofNanos(System.nanoTime() - start).compareTo(HOST_DELAY) >= 0);
            assertEquals(0, session.oia().image()[91]);
            assertTrue(screen.rowText(1).contains("Main Menu"));
            assertTrue(screen.rowText(1).contains("User: DEMO01"));
            assertEquals(screen.position(DemoHost.MENU_SELECTION_ROW, DemoHost.MENU_SELECTION_COLUMN),
                    screen.cursor());
        }

        @Test
        void wrongPasswordShowsAnErrorAndKeepsTheUser() throws InterruptedException {
            keysAndWait("demo01[tab]wrong[enter]");
            assertTrue(screen.rowText(1).contains("Sign On"));
            assertEquals("Sign-on information is not correct.", messageLine());
            int userField = screen.position(DemoHost.SIGN_ON_USER_ROW, DemoHost.SIGN_ON_INPUT_COLUMN);
            assertEquals("DEMO01", screen.text(userField, 6));
            // The host left the user filled in and the cursor on the password: typing it signs on.
            keysAndWait("palvero[enter]");
            assertTrue(screen.rowText(1).contains("Main Menu"));
        }

        @Test
        void passwordFieldIsNotDisplayed() {
            session.sendKeys("demo01[tab]secret", false);
            int passwordField = screen.position(DemoHost.SIGN_ON_PASSWORD_ROW, DemoHost.SIGN_ON_INPUT_COLUMN);
            assertEquals("      ", screen.text(passwordField, 6));
            assertEquals(0, screen.search("secret", 1, false));
            Field field = screen.fieldAt(passwordField).orElseThrow();
            assertTrue(field.attribute().isNonDisplay());
            assertEquals("secret", screen.fieldText(field, true).strip());
        }
    }

    @Nested
    class Navigation {
        @Test
        void inquiryShowsARecordOrSaysItIsMissing() throws InterruptedException {
            signOn();
            keysAndWait("1[enter]");
            assertTrue(screen.rowText(1).contains("Customer Inquiry"));
            keysAndWait("100734[enter]");
            assertEquals(screen.position(8, 27), screen.search("THE HARBOUR", 1, false));
            assertTrue(screen.rowText(12).contains("23,114.90"));
            keysAndWait("[eraseeof]999999[enter]");
            assertEquals("Customer 999999 was not found.", messageLine());
            assertEquals(0, screen.search("THE HARBOUR", 1, false));
        }

        @Test
        void pf3GoesBackAndSignsOffFromTheMenu() throws InterruptedException {
            signOn();
            keysAndWait("1[enter]");
            keysAndWait("[pf3]");
            assertTrue(screen.rowText(1).contains("Main Menu"));
            keysAndWait("[pf3]");
            assertTrue(screen.rowText(1).contains("Sign On"));
            assertEquals("You have signed off.", messageLine());
        }

        @Test
        void invalidSelectionAndInactiveKeysShowMessages() throws InterruptedException {
            signOn();
            keysAndWait("7[enter]");
            assertEquals("Selection 7 is not valid.", messageLine());
            keysAndWait("[pf9]");
            assertEquals("Function key PF9 is not active on this screen.", messageLine());
        }

        @Test
        void listPagesAndOptionFiveOpensTheCustomer() throws InterruptedException {
            signOn();
            keysAndWait("2[enter]");
            assertTrue(screen.rowText(7).contains("100100"));
            keysAndWait("[pf8]");
            assertTrue(screen.rowText(7).contains("101273"), screen.rowText(7));
            assertTrue(screen.rowText(17).contains("Bottom"));
            keysAndWait("[pf8]");
            assertEquals("Already at the bottom of the list.", messageLine());
            keysAndWait("[newline]5[enter]");
            assertTrue(screen.rowText(1).contains("Customer Inquiry"));
            assertTrue(screen.rowText(7).contains("LANGLEY GARDEN CENTRE"), screen.rowText(7));
            keysAndWait("[pf12]");
            assertTrue(screen.rowText(1).contains("Customer List"));
        }

        @Test
        void clearLeavesABlankScreenUntilTheNextKey() throws InterruptedException {
            signOn();
            keysAndWait("[clear]");
            assertFalse(screen.isFormatted());
            assertEquals(" ".repeat(80), screen.rowText(1));
            keysAndWait("[enter]");
            assertTrue(screen.rowText(1).contains("Main Menu"));
        }

        @Test
        void retryWaitsForTheHostBetweenAttentionKeys() throws InterruptedException {
            assertEquals(ResultCode.BUSY, session.sendKeys("demo01[tab]palvero[enter]1[enter]", false));
            assertTrue(session.awaitInputAllowed(WAIT));
            assertEquals(ResultCode.OK, session.sendKeys("1[enter]100100[enter]", true));
            assertTrue(session.awaitInputAllowed(WAIT));
            assertTrue(screen.rowText(7).contains("ALDERTON HARDWARE LTD"));
        }
    }

    @Nested
    class Listeners {
        @Test
        void inhibitChangesAndUpdatesArriveInOrder() throws InterruptedException {
            List<String> events = new CopyOnWriteArrayList<>();
            CountDownLatch releasedEvent = new CountDownLatch(1);
            session.addListener(new SessionListener() {
                @Override
                public void presentationSpaceUpdated(Session s) {
                    events.add("ps");
                }

                @Override
                public void inputInhibitedChanged(Session s, boolean inhibited) {
                    events.add(inhibited ? "inhibited" : "released");
                    if (!inhibited) {
                        releasedEvent.countDown();
                    }
                }
            });
            keysAndWait("demo01[tab]palvero[enter]");
            // The host thread tells listeners just after it releases the keyboard.
            assertTrue(releasedEvent.await(5, TimeUnit.SECONDS));
            // Typing updated the screen, Enter locked the keyboard, the answer repainted and released it.
            assertEquals("ps", events.get(0));
            int inhibited = events.indexOf("inhibited");
            int released = events.indexOf("released");
            assertTrue(inhibited > 0 && released > inhibited, events.toString());
            assertTrue(events.subList(inhibited, released).contains("ps"), events.toString());
        }

        @Test
        void aTransferInhibitsTheKeyboardWhileItRuns() {
            List<String> events = new CopyOnWriteArrayList<>();
            session.addListener(new SessionListener() {
                @Override
                public void inputInhibitedChanged(Session s, boolean inhibited) {
                    events.add(inhibited ? "inhibited" : "released");
                }
            });
            int answer = session.transfer(() -> {
                events.add("transfer");
                assertEquals(ResultCode.BUSY, session.setCursor(1), "the operator waits");
                return 27;
            });
            assertEquals(27, answer);
            assertEquals(List.of("inhibited", "transfer", "released"), events);
            assertFalse(session.oia().isInputInhibited());
        }

        @Test
        void interceptedCloseKeepsTheSessionOpen() {
            session.addListener(new SessionListener() {
                @Override
                public boolean closeRequested(Session s) {
                    return true;
                }
            });
            assertFalse(session.requestClose());
            assertFalse(session.isClosed());
            assertEquals(Session.STATUS_STARTED | Session.STATUS_CONNECTED, session.statusWord());
            session.close();
            assertEquals(0, session.statusWord());
        }

        @Test
        void operatorKeystrokesReachListenersWhoMayTakeThem() throws InterruptedException {
            List<String> keys = new CopyOnWriteArrayList<>();
            session.addListener(new SessionListener() {
                @Override
                public boolean keystroke(Session s, String keyText) {
                    keys.add(keyText);
                    return keyText.equals("[enter]");
                }
            });
            assertEquals(ResultCode.OK, session.operatorKeys("ab[enter]"));
            assertEquals(List.of("a", "b", "[enter]"), keys);
            assertFalse(session.oia().isInputInhibited());
            assertTrue(screen.rowText(1).contains("Sign On"));
        }
    }

    @Test
    void disconnectClearsTheScreenAndRefusesAttentionKeys() {
        assertTrue(session.disconnect());
        assertFalse(session.isConnected());
        assertEquals(Session.STATUS_STARTED, session.statusWord());
        assertFalse(screen.isFormatted());
        assertEquals(ResultCode.INHIBITED, session.sendKeys("[enter]", false));
        byte[] image = session.oia().image();
        assertEquals(OperatorInformationArea.ONLINE_SUBSYSTEM_READY, image[81]);
        assertEquals("4", new String(image, 1, 80, StandardCharsets.ISO_8859_1).substring(0, 2).strip());
    }

    @Test
    void largerModelsShowTheSameApplication() throws InterruptedException {
        Profile wide = Profile.defaults("wide").with(TerminalModel.MODEL_5, Duration.ZERO, 'B');
        try (Session other = new Session('B', wide, new DemoHost())) {
            other.connect();
            assertEquals(27 * 132, other.screen().size());
            assertEquals(ResultCode.OK, other.sendKeys("demo01[tab]palvero[enter]", true));
            assertTrue(other.awaitInputAllowed(WAIT));
            assertTrue(other.screen().rowText(1).contains("Main Menu"));
        }
    }
}
