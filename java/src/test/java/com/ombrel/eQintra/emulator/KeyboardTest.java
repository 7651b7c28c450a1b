package com.ombrel.eQintra.emulator;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;

/** The keyboard on the sample screen of {@link PresentationSpaceTest}, with the host replaced by a list. */
class KeyboardTest {

    private PresentationSpace screen;
    private OperatorInformationArea oia;
    private List<InboundMessage> sent;
    private Keyboard keyboard;

    @BeforeEach
    void setUp() {
        screen = PresentationSpaceTest.sampleScreen();
        oia = new OperatorInformationArea();
        oia.setConnected(true);
        sent = new ArrayList<>();
        keyboard = new Keyboard(screen, oia, sent::add, () -> { });
        screen.setCursor(10);
    }

    private ResultCode keys(String text) {
        return keyboard.sendKeys(text, Duration.ZERO);
    }

    @Nested
    class Typing {
        @Test
        void charactersGoInAtTheCursorAndSetTheModifiedTag() {
            assertEquals(ResultCode.OK, keys("AB"));
            assertEquals("AB", screen.text(10, 2));
            assertEquals(12, screen.cursor());
            assertTrue(screen.fieldAt(10).orElseThrow().attribute().isModified());
        }

        @Test
        void aFullFieldAdvancesToTheNextInputField() {
            assertEquals(ResultCode.OK, keys("ABCDEFGH12"));
            assertEquals("ABCDEFGH", screen.text(10, 8));
            assertEquals("12", screen.text(90, 2));
            assertEquals(92, screen.cursor());
        }

        @Test
        void protectedPositionIsRefusedUntilReset() {
            screen.setCursor(3);
            assertEquals(ResultCode.INHIBITED, keys("X"));
            assertEquals("NAME", screen.text(2, 4));
            assertEquals(Inhibit.PROTECTED_POSITION, oia.inhibit());
            screen.setCursor(10);
            assertEquals(ResultCode.INHIBITED, keys("Y"));
            assertEquals(' ', screen.charAt(10));
            assertEquals(ResultCode.OK, keys("[reset]Y"));
            assertEquals('Y', screen.charAt(10));
            assertFalse(oia.isInputInhibited());
        }

        @Test
        void numericFieldRefusesLetters() {
            screen.setCursor(90);
            assertEquals(ResultCode.INHIBITED, keys("1A"));
            assertEquals("1 ", screen.text(90, 2));
            assertEquals(Inhibit.NUMERIC_ONLY, oia.inhibit());
            assertEquals(91, screen.cursor());
        }

        @Test
        void attributePositionIsRefused() {
            screen.setCursor(9);
            assertEquals(ResultCode.INHIBITED, keys("A"));
            assertEquals(Inhibit.PROTECTED_POSITION, oia.inhibit());
        }

        @Test
        void insertModeShiftsTheFieldAndRefusesWhenFull() {
            keys("ACDEFGH");
            screen.setCursor(11);
            assertEquals(ResultCode.OK, keys("[insert]B"));
            assertEquals("ABCDEFGH", screen.text(10, 8));
            assertTrue(oia.isInsertMode());
            assertEquals(ResultCode.INHIBITED, keys("Z"));
            assertEquals(Inhibit.TOO_MUCH_ENTERED, oia.inhibit());
            assertEquals("ABCDEFGH", screen.text(10, 8));
            keys("[reset]");
            assertFalse(oia.isInsertMode());
        }

        @Test
        void unformattedScreenTakesCharactersAnywhere() {
            PresentationSpace blank = new PresentationSpace(TerminalModel.MODEL_2);
            Keyboard free = new Keyboard(blank, oia, sent::add, () -> { });
            blank.setCursor(1920);
            assertEquals(ResultCode.OK, free.sendKeys("XY", Duration.ZERO));
            assertEquals('X', blank.charAt(1920));
            assertEquals('Y', blank.charAt(1));
        }
    }

    @Nested
    class Editing {
        @Test
        void tabBacktabHomeAndNewlineMoveBetweenInputFields() {
            keys("[tab]");
            assertEquals(90, screen.cursor());
            keys("[tab][tab]");
            assertEquals(10, screen.cursor());
            screen.setCursor(92);
            keys("[backtab]");
            assertEquals(90, screen.cursor());
            keys("[backtab]");
            assertEquals(10, screen.cursor());
            keys("[backtab]");
            assertEquals(170, screen.cursor());
            keys("[home]");
            assertEquals(10, screen.cursor());
            keys("[newline]");
            assertEquals(90, screen.cursor());
        }

        @Test
        void cursorKeysWrapAroundTheScreen() {
            screen.setCursor(1);
            keys("[left]");
            assertEquals(1920, screen.cursor());
            keys("[right][down]");
            assertEquals(81, screen.cursor());
            keys("[up][up]");
            assertEquals(1841, screen.cursor());
        }

        @Test
        void deleteAndEraseEofWorkInsideTheField() {
            keys("ABCDEF");
            screen.setCursor(11);
            assertEquals(ResultCode.OK, keys("[delete]"));
            assertEquals("ACDEF   ", screen.text(10, 8));
            screen.setCursor(13);
            assertEquals(ResultCode.OK, keys("[eraseeof]"));
            assertEquals("ACD     ", screen.text(10, 8));
            keys("[eof]");
            assertEquals(13, screen.cursor());
            screen.setCursor(3);
            assertEquals(ResultCode.INHIBITED, keys("[delete]"));
            assertEquals("NAME", screen.text(2, 4));
        }

        @Test
        void eraseInputClearsInputAndHomesTheCursor() {
            keys("ABC[tab]12");
            assertEquals(ResultCode.OK, keys("[erinp]"));
            assertEquals("        ", screen.text(10, 8));
            assertEquals("    ", screen.text(90, 4));
            assertEquals(10, screen.cursor());
            assertTrue(screen.modifiedFields().isEmpty());
        }
    }

    @Nested
    class AttentionKeys {
        @Test
        void enterSendsModifiedFieldsWithoutNullsAndWaitsForTheHost() {
            keys("AB[tab]7");
            assertEquals(ResultCode.OK, keys("[enter]"));
            assertEquals(1, sent.size());
            InboundMessage message = sent.get(0);
            assertEquals(Aid.ENTER, message.aid());
            assertEquals(91, message.cursor());
            assertEquals("AB", message.textAt(10).orElseThrow());
            assertEquals("7", message.textAt(90).orElseThrow());
            assertTrue(message.textAt(170).isEmpty());
            assertEquals(Inhibit.SYSTEM_WAIT, oia.inhibit());
            // Keys are refused while the host has the screen, and Reset does not help.
            assertEquals(ResultCode.BUSY, keys("X"));
            assertEquals(ResultCode.BUSY, keys("[reset][tab]"));
            assertEquals(ResultCode.BUSY, keys("[pf3]"));
            assertEquals(1, sent.size());
        }

        @Test
        void shortReadKeysSendNoFieldsAndClearEmptiesTheScreen() {
            keys("AB");
            keys("[pa1]");
            assertEquals(List.of(), sent.get(0).fields());
            oia.setInhibit(Inhibit.NONE);
            keys("[clear]");
            assertEquals(Aid.CLEAR, sent.get(1).aid());
            assertFalse(screen.isFormatted());
            assertEquals(1, screen.cursor());
        }

        @Test
        void pageKeysAreFunctionKeys() {
            keys("[pagedn]");
            assertEquals(Aid.PF8, sent.get(0).aid());
        }

        @Test
        void attentionKeyWithoutHostIsRefused() {
            oia.setConnected(false);
            assertEquals(ResultCode.INHIBITED, keys("[enter]"));
            assertTrue(sent.isEmpty());
            assertEquals(Inhibit.MINUS_FUNCTION, oia.inhibit());
        }
    }

    @Nested
    class KeystrokeStrings {
        @Test
        void unknownKeyNameSendsNothing() {
            assertEquals(ResultCode.PARAMETER_ERROR, keys("AB[bogus]"));
            assertEquals(ResultCode.PARAMETER_ERROR, keys("AB[enter"));
            assertEquals("  ", screen.text(10, 2));
        }

        @Test
        void doubledBracketsAreLiteralAndNamesIgnoreCase() {
            assertEquals(ResultCode.OK, keys("[[x]][TAB]"));
            assertEquals("[x]", screen.text(10, 3));
            assertEquals(90, screen.cursor());
        }

        @Test
        void interceptedOperatorKeysAreNotApplied() {
            List<String> seen = new ArrayList<>();
            keyboard.setInterceptor(key -> {
                seen.add(key);
                return key.equals("[enter]") || key.equals("B");
            });
            assertEquals(ResultCode.OK, keyboard.operatorKeys("AB[enter]"));
            assertEquals(List.of("A", "B", "[enter]"), seen);
            assertEquals("A ", screen.text(10, 2));
            assertTrue(sent.isEmpty());
            // Automation keystrokes are not offered to the interceptor.
            keys("C");
            assertEquals(3, seen.size());
        }

        @Test
        void reservedKeyboardRefusesTheOperatorOnly() {
            keyboard.setReserved(true);
            assertEquals(ResultCode.INHIBITED, keyboard.operatorKeys("A"));
            assertEquals(ResultCode.OK, keys("A"));
            assertEquals("A", screen.text(10, 1));
        }
    }
}
