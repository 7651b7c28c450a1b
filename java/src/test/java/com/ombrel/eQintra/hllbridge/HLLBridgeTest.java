package com.ombrel.eQintra.hllbridge;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.DemoHost;
import com.ombrel.eQintra.emulator.FieldAttribute;
import com.ombrel.eQintra.emulator.PresentationSpace;
import com.ombrel.eQintra.emulator.Profile;
import com.ombrel.eQintra.emulator.ResultCode;
import com.ombrel.eQintra.emulator.Session;
import com.ombrel.eQintra.emulator.TerminalModel;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;

/** The bridge's answers to the library, with the natives replaced by a record. */
class HLLBridgeTest {

    private static final Duration WAIT = Duration.ofSeconds(5);
    /** Sign-on screen: user input field at row 6 column 35, password at row 7 column 35. */
    private static final int USER = 5 * 80 + 35;
    private static final int PASSWORD = 6 * 80 + 35;

    private static long code(long result) {
        return result & 0xFFFF;
    }

    private static int value(long result) {
        return (int) (result >> 16);
    }

    private static String latin1(byte[] bytes) {
        return new String(bytes, StandardCharsets.ISO_8859_1);
    }

    private static byte[] bytes(String text) {
        return text.getBytes(StandardCharsets.ISO_8859_1);
    }

    /** A session against the demonstration host, showing its sign-on screen. */
    @Nested
    class OnTheDemoHost {
        private Session session;
        private PresentationSpace screen;
        private RecordingBridge bridge;

        @BeforeEach
        void setUp() {
            Profile profile = Profile.defaults("demo").with(TerminalModel.MODEL_2, Duration.ofMillis(50), 'A');
            session = new Session('A', profile, new DemoHost());
            screen = session.screen();
            bridge = new RecordingBridge(session);
            assertTrue(bridge.register());
            assertTrue(session.connect());
        }

        @AfterEach
        void tearDown() {
            session.close();
        }

        @Test
        void sizesAndCursorArePackedAboveTheReturnCode() {
            assertEquals(1920L << 16, bridge.GetPSSize());
            assertEquals(24L << 16, bridge.GetPSSizeRows());
            assertEquals(80L << 16, bridge.GetPSSizeCols());
            assertEquals((long) USER << 16, bridge.QueryCursorLocation());
        }

        @Test
        void copyPsRendersAttributesByAttributeMode() {
            int title = screen.position(1, 36);
            assertEquals(0, bridge.CopyPS(1, 1920, 0, true, 0));
            byte[] plain = bridge.lastReply();
            assertEquals(1920, plain.length);
            assertEquals("Sign On", latin1(plain).substring(title - 1, title + 6));
            assertEquals(' ', plain[title - 2]);

            assertEquals(0, bridge.CopyPS(title - 1, 8, 1, true, 0));
            assertEquals(FieldAttribute.PROTECTED_TEXT.intensified().toByte(), bridge.lastReply()[0] & 0xFF);
            assertEquals("Sign On", latin1(bridge.lastReply()).substring(1));

            assertEquals(0, bridge.CopyPS(title - 1, 8, 2, true, 0));
            assertEquals(0, bridge.lastReply()[0]);
        }

        @Test
        void copyPsWithExtendedAttributesTakesTwoBytesAPosition() {
            screen.setExtendedAttribute(USER, 2, 0xF2);
            assertEquals(0, bridge.CopyPS(USER - 1, 6, 0, true, 1));
            assertArrayEquals(new byte[] {' ', 0, ' ', (byte) 0xF2, ' ', (byte) 0xF2}, bridge.lastReply());
        }

        @Test
        void copyPsIsCutAtTheEndOfTheScreenAndRefusesBadArguments() {
            assertEquals(0, bridge.CopyPS(1911, 100, 0, true, 0));
            assertEquals(10, bridge.lastReply().length);
            int replies = bridge.replies.size();
            assertEquals(7, bridge.CopyPS(0, 10, 0, true, 0));
            assertEquals(7, bridge.CopyPS(1921, 10, 0, true, 0));
            assertEquals(2, bridge.CopyPS(1, 1, 0, true, 1));
            assertEquals(replies, bridge.replies.size(), "a refused copy must not reply");
        }

        @Test
        void repeatedCopiesFollowTheScreenAndCarryOnlyTheirOwnBytes() {
            assertEquals(0, bridge.CopyPS(1, 1920, 0, true, 0));
            assertEquals("      ", latin1(bridge.lastReply()).substring(USER - 1, USER + 5));
            assertEquals(0, bridge.SendKeys(bytes("demo01"), false));
            assertEquals(0, bridge.CopyPS(1, 1920, 0, true, 0));
            assertEquals(1920, bridge.lastReply().length);
            assertEquals("demo01", latin1(bridge.lastReply()).substring(USER - 1, USER + 5));
            assertEquals(0, bridge.CopyPS(USER, 4, 0, true, 0));
            assertEquals("demo", latin1(bridge.lastReply()));
        }

        @Test
        void nonDisplayFieldsAreRevealedOnlyWithTheDisplayFlag() {
            assertEquals(0, bridge.SendKeys(bytes("[tab]secret"), false));
            assertEquals(0, bridge.CopyPS(PASSWORD, 6, 0, true, 0));
            assertEquals("secret", latin1(bridge.lastReply()));
            assertEquals(0, bridge.CopyPS(PASSWORD, 6, 0, false, 0));
            assertEquals("      ", latin1(bridge.lastReply()));
        }

        @Test
        void searchPsWholeForwardAndBackward() {
            long found = bridge.SearchPS(bytes("Sign On"), 500, 0, true);
            assertEquals(0, code(found));
            assertEquals(screen.position(1, 36), value(found));
            // "Password" lies before position 600; searching forward from there misses it.
            assertEquals(24, code(bridge.SearchPS(bytes("Password"), 600, 0, false)));
            assertEquals(screen.position(7, 10), value(bridge.SearchPS(bytes("Password"), 600, 1, false)));
            assertEquals(24, bridge.SearchPS(bytes("no such text"), 1, 0, true));
            assertEquals(7, bridge.SearchPS(bytes("Sign"), 1921, 0, false));
            assertEquals(2, bridge.SearchPS(new byte[0], 1, 0, true));
        }

        @Test
        void sendKeysSignsOnAndReportsTheHostsAnswer() throws InterruptedException {
            assertEquals(0, bridge.SendKeys(bytes("[reset]"), false));
            assertEquals(0, bridge.SendKeys(bytes("demo01[tab]palvero[enter]"), true));
            assertTrue(session.awaitInputAllowed(WAIT));
            assertTrue(screen.rowText(1).contains("Main Menu"), screen.rowText(1));
            // The Enter inhibited input; the host's answer released it, and Wait callers were told
            // (from the host thread, once the answer is painted).
            long deadline = System.nanoTime() + WAIT.toNanos();
            while (!bridge.events.contains("released") && System.nanoTime() < deadline) {
                Thread.sleep(5);
            }
            assertTrue(bridge.events.contains("oia true"), bridge.events.toString());
            assertTrue(bridge.events.indexOf("released") > bridge.events.indexOf("oia true"),
                    bridge.events.toString());
        }

        @Test
        void sentKeystrokeStringsAreKeptWithTheirRetryFlagUntilTaken() {
            assertEquals(0, bridge.SendKeys(bytes("[reset]"), false));
            assertEquals(0, bridge.SendKeys(bytes("ab[tab]"), true));
            assertEquals(List.of("false [reset]", "true ab[tab]"), bridge.takeSentKeys());
            assertEquals(List.of(), bridge.takeSentKeys());

            // Refused strings count too; only the newest are kept.
            int sent = HLLBridge.SENT_KEYS_KEPT + 2;
            for (int i = 0; i < sent; i++) {
                assertEquals(2, bridge.SendKeys(bytes("[bad" + i + "]"), i % 2 == 0));
            }
            List<String> kept = bridge.takeSentKeys();
            assertEquals(HLLBridge.SENT_KEYS_KEPT, kept.size());
            assertEquals("true [bad2]", kept.get(0));
            assertEquals("false [bad" + (sent - 1) + "]", kept.get(kept.size() - 1));
        }

        @Test
        void sendKeysRefusesAnUnknownKeyName() {
            assertEquals(2, bridge.SendKeys(bytes("abc[nosuchkey]"), false));
            assertEquals("", screen.text(USER, 3).strip());
        }

        @Test
        void fieldQueriesOnTheSignOnScreen() {
            long attribute = bridge.QueryFieldAttribute(PASSWORD);
            assertEquals(0, code(attribute));
            assertEquals(FieldAttribute.UNPROTECTED.nonDisplay().toByte(), value(attribute));
            assertEquals((long) PASSWORD << 16, bridge.FindFieldPosition("NU", USER));
            assertEquals((long) USER << 16, bridge.FindFieldPosition("PU", PASSWORD));
            assertEquals(10L << 16, bridge.FindFieldLength("  ", USER + 3));
            assertEquals(2, bridge.FindFieldPosition("XX", USER));
            assertEquals(7, bridge.FindFieldLength("T ", 0));
        }

        @Test
        void copyFieldToStringFromThePositionToTheFieldsEnd() {
            assertEquals(0, bridge.CopyStringToField(bytes("DEMO01"), USER));
            assertEquals(0, bridge.CopyFieldToString(USER, 100, 0, true, 0));
            assertEquals("DEMO01    ", latin1(bridge.lastReply()));
            assertEquals(0, bridge.CopyFieldToString(USER + 2, 8, 0, true, 0));
            assertEquals("MO01    ", latin1(bridge.lastReply()));
            assertEquals(6, bridge.CopyFieldToString(USER, 4, 0, true, 0));
            assertEquals("DEMO", latin1(bridge.lastReply()));
        }

        @Test
        void copyStringToPsIsRefusedOnProtectedPositions() {
            assertEquals(5, bridge.CopyStringToPS(bytes("X"), 1));
            assertEquals(0, bridge.CopyStringToPS(bytes("ABC"), USER));
            assertEquals("ABC", screen.text(USER, 3));
            assertEquals(24, bridge.SearchField(bytes("Q"), USER, 0, true));
            assertEquals((long) (USER + 1) << 16, bridge.SearchField(bytes("BC"), USER, 0, true));
        }

        @Test
        void cursorAndPositionConversion() {
            assertEquals(0, bridge.SetCursor(PASSWORD));
            assertEquals((long) PASSWORD << 16, bridge.QueryCursorLocation());
            assertEquals(7, bridge.SetCursor(1921));
            assertEquals((2L << 16) | 1, bridge.ConvertPos(81));
            assertEquals((24L << 16) | 80, bridge.ConvertPos(1920));
            assertEquals(0, bridge.ConvertPos(0));
            assertEquals(1920, bridge.ConvertRowCol(24, 80));
            assertEquals(0, bridge.ConvertRowCol(25, 1));
        }

        @Test
        void copyOiaAndSessionStatusGoToTheCaller() {
            assertEquals(0, bridge.CopyOIA());
            byte[] oia = bridge.lastReply();
            assertEquals(104, oia.length);
            assertArrayEquals(session.oia().image(), oia);

            assertEquals(0, bridge.QuerySessionStatus());
            ByteBuffer status = ByteBuffer.wrap(bridge.lastReply()).order(ByteOrder.LITTLE_ENDIAN);
            assertEquals(20, status.capacity());
            assertEquals('A', status.get(0));
            // The 32-bit layout: three reserved bytes after the letter.
            assertEquals("\0\0\0A\0\0\0\0\0\0\0", latin1(bridge.lastReply()).substring(1, 12));
            assertEquals('D', status.get(12));
            assertEquals(24, status.getShort(14));
            assertEquals(80, status.getShort(16));
            assertEquals(37, status.getShort(18));
        }

        @Test
        void keystrokesReachTheLibraryOnlyWhileIntercepted() {
            assertEquals(0, session.operatorKeys("a").code());
            assertFalse(bridge.events.stream().anyMatch(e -> e.startsWith("key")));

            assertEquals(0, bridge.StartKeystrokeIntercept());
            bridge.keystrokeTaken = key -> key.equals("b");
            session.operatorKeys("b[tab]");
            assertEquals(1, bridge.count("key b"));
            assertEquals(1, bridge.count("key [tab]"));
            assertEquals("a", screen.text(USER, 2).strip(), "a taken key must not be applied");
            assertEquals(PASSWORD, screen.cursor(), "a key the callers leave is applied");

            assertEquals(0, bridge.StopKeystrokeIntercept());
            session.operatorKeys("c");
            assertEquals(0, bridge.count("key c"));
        }

        @Test
        void closeAttemptsAreHeldWhileIntercepted() {
            assertEquals(0, bridge.StartCloseIntercept());
            assertFalse(session.requestClose());
            assertFalse(session.isClosed());
            assertEquals(1, bridge.count("close"));
            assertEquals(0, bridge.StopCloseIntercept());
            assertEquals(0, bridge.StopCloseIntercept(), "a second stop must not go negative");
            assertTrue(session.requestClose());
            assertEquals(1, bridge.count("close"));
        }

        /** Each caller's stop ends its own intercept only; a caller that ended is forgotten. */
        @Test
        void closeInterceptsAreKeptPerCaller() {
            bridge.caller = "first/1";
            assertEquals(0, bridge.StartCloseIntercept());
            assertEquals(0, bridge.StartCloseIntercept(), "a second start of the same caller");
            bridge.caller = "second/2";
            assertEquals(0, bridge.StartCloseIntercept());
            bridge.caller = "first/1";
            assertEquals(0, bridge.StopCloseIntercept());
            assertEquals(0, bridge.StopCloseIntercept());
            assertFalse(session.requestClose(), "the second caller still intercepts");
            bridge.endedCallers.add("second/2");
            assertTrue(session.requestClose(), "a close attempt is held for a caller that ended");
            assertEquals(1, bridge.count("close"));
        }

        @Test
        void keystrokeInterceptsOfEndedCallersAreForgotten() {
            bridge.caller = "first/1";
            assertEquals(0, bridge.StartKeystrokeIntercept());
            bridge.caller = "second/2";
            assertEquals(0, bridge.StopKeystrokeIntercept(), "a stop of a caller that never started");
            session.operatorKeys("a");
            assertEquals(1, bridge.count("key a"));
            assertEquals(" ", screen.text(USER, 1));

            bridge.endedCallers.add("first/1");
            session.operatorKeys("b");
            assertEquals(0, bridge.count("key b"), "a key offered to a caller that ended");
            assertEquals("b", screen.text(USER, 1));
        }

        @Test
        void theKeyboardStaysReservedUntilEveryReservingCallerReleasedOrEnded() {
            bridge.caller = "first/1";
            assertEquals(0, bridge.Reserve());
            bridge.caller = "second/2";
            assertEquals(0, bridge.Reserve());
            assertEquals(0, bridge.Release());
            assertEquals(ResultCode.INHIBITED, session.operatorKeys("a"), "the first caller still reserves");

            assertEquals(0, bridge.ForgetEndedCallers());
            assertEquals(ResultCode.INHIBITED, session.operatorKeys("a"), "a living caller is not forgotten");
            bridge.endedCallers.add("first/1");
            assertEquals(0, bridge.ForgetEndedCallers());
            assertEquals(ResultCode.OK, session.operatorKeys("a"));
            assertEquals("a", screen.text(USER, 1));
        }

        @Test
        void notionalWindowServices() {
            assertEquals(0, bridge.GetWindowTitle());
            assertEquals("demo - A", latin1(bridge.lastReply()));
            assertEquals(0, bridge.ChangeWindowName(bytes("Payroll"), true));
            assertEquals("demo - A", latin1(bridge.lastReply()), "the old title goes to the caller");
            assertEquals(0, bridge.ChangeWindowName(bytes(HLLBridge.KEEP_WINDOW_NAME), false));
            assertEquals("Payroll", bridge.windowTitle());

            assertEquals(1, bridge.IsVisible());
            assertEquals(0, bridge.SetVisible(false));
            assertEquals(0, bridge.IsVisible());
            assertEquals(0, bridge.QueryWindowCoordinates());
            assertEquals(" L0 B400 R640 T0 W", latin1(bridge.lastReply()));
            assertEquals((8L << 16) | 16, bridge.GetFontDimensions());
        }

        @Test
        void fileTransferAndMacrosAnswerFailureCodes() {
            assertEquals(27, bridge.SendReceiveFile(-1, "NO-SUCH-PC-FILE.TXT", "HOST FILE A", "", true, false));
            assertEquals(2, bridge.SendReceiveFile(-1, "PC.TXT", "HOST FILE A", "(FANCY", true, false));
            assertEquals(2, bridge.StartMacro(bytes("nightly")));
        }
    }

    /** Registration and the end of a bridge. */
    @Nested
    class Lifetime {
        private Session session;

        @BeforeEach
        void setUp() {
            Profile profile = Profile.defaults("slow").with(TerminalModel.MODEL_2, Duration.ofMillis(400), 'B');
            session = new Session('B', profile, new DemoHost());
            session.connect();
        }

        @AfterEach
        void tearDown() {
            session.close();
        }

        @Test
        void aLetterHeldByAnotherEmulatorIsNotRegistered() {
            RecordingBridge bridge = new RecordingBridge(session);
            bridge.freeLetter = 'C';
            assertFalse(bridge.register());
            assertFalse(bridge.isRegistered());
            assertEquals(0, bridge.count("register"));
            session.operatorKeys("x");
            assertTrue(bridge.events.isEmpty(), bridge.events.toString());
        }

        @Test
        void afterUnregisterRequestsAnswerOneAndNothingIsForwarded() {
            RecordingBridge bridge = new RecordingBridge(session);
            assertTrue(bridge.register());
            bridge.unregister();
            bridge.unregister();
            assertEquals(1, bridge.count("unregister"));
            assertEquals(1, bridge.CopyPS(1, 1920, 0, true, 0));
            assertNull(bridge.lastReply());
            int events = bridge.events.size();
            session.operatorKeys("x");
            assertEquals(events, bridge.events.size(), bridge.events.toString());
        }

        @Test
        void afterUnregisterConversionsAnswerNoPosition() {
            RecordingBridge bridge = new RecordingBridge(session);
            assertTrue(bridge.register());
            assertEquals((2L << 16) | 1, bridge.ConvertPos(81));
            bridge.unregister();
            assertEquals(0, bridge.ConvertPos(81), "no row, no column");
            assertEquals(-1, bridge.ConvertRowCol(2, 1), "the library's no-position answer");
        }

        @Test
        void unregisterWaitsForARequestStillRunning() throws Exception {
            StringBuilder screenAtUnregister = new StringBuilder();
            RecordingBridge bridge = new RecordingBridge(session) {
                @Override
                void unregisterNative() {
                    screenAtUnregister.append(session.screen().text(USER, 1));
                    super.unregisterNative();
                }
            };
            assertTrue(bridge.register());
            // The x after the Enter waits for the host's answer, 400 ms away,
            // and is typed at the cursor of the repainted sign-on screen.
            CompletableFuture<Long> keys = CompletableFuture.supplyAsync(
                    () -> bridge.SendKeys(bytes("[enter]x"), true));
            long deadline = System.nanoTime() + WAIT.toNanos();
            while (!session.oia().isInputInhibited() && System.nanoTime() < deadline) {
                Thread.onSpinWait();
            }
            assertTrue(session.oia().isInputInhibited(), "the Enter did not reach the host");
            bridge.unregister();
            assertEquals("x", screenAtUnregister.toString(), "unregistered before the request ended");
            assertEquals(0L, keys.get(5, TimeUnit.SECONDS));
        }
    }
}
