package com.ombrel.eQintra.emulator;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * The keys of the keystroke table on a 3270 and a 5250 station: which the
 * station has, and what each does. The screen is the sample screen of
 * {@link PresentationSpaceTest} with a signed numeric field added at
 * 250-257 (attribute 249), the cursor in the first input field (10-17);
 * Tab goes on to 90 (numeric), 170 (non-display) and 250.
 */
class StationKeysTest {

    private static final int SIGNED = 250;

    private PresentationSpace screen;
    private OperatorInformationArea oia;
    private final List<InboundMessage> sent = new ArrayList<>();
    private Keyboard keyboard;

    private void station(String type) {
        sent.clear();
        screen = PresentationSpaceTest.sampleScreen();
        screen.defineField(SIGNED - 1, FieldAttribute.UNPROTECTED.signedNumeric());
        screen.defineField(SIGNED + 8, FieldAttribute.SKIP);
        oia = new OperatorInformationArea();
        oia.setConnected(true);
        keyboard = new Keyboard(TerminalType.ofText(type), screen, oia, sent::add, () -> { });
        screen.setCursor(10);
    }

    private ResultCode keys(String text) {
        return keyboard.sendKeys(text, Duration.ZERO);
    }

    /**
     * Every key name of the keystroke table that the 3270 or the 5250 lacks
     * (and those of other kinds of terminal, which neither has) shows minus
     * function and changes nothing; the station that has it takes it.
     */
    @ParameterizedTest(name = "{0}: 3270 {1}, 5250 {2}")
    @CsvSource(delimiter = '|', value = {
        "[pa1]|OK|INHIBITED", "[pa2]|OK|INHIBITED", "[pa3]|OK|INHIBITED",
        "[cursel]|INHIBITED|INHIBITED", "[crsel]|INHIBITED|INHIBITED", "[cursor select]|INHIBITED|INHIBITED",
        "[fieldmark]|OK|INHIBITED", "[field mark]|OK|INHIBITED",
        "[fldext]|INHIBITED|OK", "[field+]|INHIBITED|OK", "[rcdbacksp]|INHIBITED|OK", "[hex]|INHIBITED|OK",
        "[help]|INHIBITED|OK",
        "[altcsr]|OK|INHIBITED", "[alt cursor]|OK|INHIBITED",
        "[revvideo]|OK|INHIBITED", "[underscr]|OK|INHIBITED", "[rstvideo]|OK|INHIBITED",
        "[rstcolor]|OK|INHIBITED", "[red]|OK|INHIBITED", "[pink]|OK|INHIBITED", "[green]|OK|INHIBITED",
        "[yellow]|OK|INHIBITED", "[blue]|OK|INHIBITED", "[turq]|OK|INHIBITED", "[white]|OK|INHIBITED",
        "[NUL]|INHIBITED|INHIBITED", "[ESC]|INHIBITED|INHIBITED", "[DEL]|INHIBITED|INHIBITED",
        "[vt find]|INHIBITED|INHIBITED", "[vt-pf1]|INHIBITED|INHIBITED", "[vt user f20]|INHIBITED|INHIBITED",
        "[dispsosi]|INHIBITED|INHIBITED", "[dbcs]|INHIBITED|INHIBITED",
        "[screenrev]|INHIBITED|INHIBITED", "[close]|INHIBITED|INHIBITED", "[screenltr]|INHIBITED|INHIBITED",
        "[jump]|OK|OK", "[devcancel]|OK|OK", "[scrlock]|OK|OK", "[numlock]|OK|OK", "[capslock]|OK|OK",
        "[test]|OK|OK", "[attn]|OK|OK", "[sysreq]|OK|OK", "[dup]|OK|OK",
    })
    void keysAStationLacksShowMinusFunction(String key, ResultCode on3270, ResultCode on5250) {
        for (String type : new String[] {"3270", "5250"}) {
            station(type);
            long version = screen.version();
            ResultCode expected = type.equals("3270") ? on3270 : on5250;
            assertEquals(expected, keys(key), key + " on " + type);
            if (expected == ResultCode.INHIBITED) {
                assertEquals(Inhibit.MINUS_FUNCTION, oia.inhibit(), key + " on " + type);
                assertEquals(version, screen.version(), key + " changed the screen on " + type);
                assertTrue(sent.isEmpty(), key + " reached the host on " + type);
            }
        }
    }

    /** Keys with an effect on the screen: the text from a position and the cursor afterwards. */
    @ParameterizedTest(name = "{0} {1}")
    @CsvSource(delimiter = '|', value = {
        // station | keys | from | expected text | cursor
        "5250|ABCDEF[left][left][left][fldext]|10|'ABC     '|90",
        "5250|ABCDEF[left][left][left][field+]|10|'ABC     '|90",
        "5250|[tab][tab][tab]123[field+]|250|'    123 '|10",
        "5250|[tab][tab][tab]123[field-]|250|'    123-'|10",
        "5250|[tab][tab][tab]12[left][left][right][field-]|250|'      1-'|10",
        "5250|[hex]41[hex]7a|10|'Az'|12",
        "5250|AB[rcdbacksp]X|10|'XB'|11",
        "3270|AB[dup]|10|'AB******'|90",
        "5250|[tab]1[dup]|90|'1***'|170",
        "3270|A[fieldmark]B|10|'A;B'|13",
        "3270|[capslock]ab[caps lock]cd|10|'ABcd'|14",
        "3270|ab cd ef[home][wordright]X|10|'ab Xd ef'|14",
        "3270|ab cd ef[home][tab word][tab word][backtab word]X|10|'ab Xd ef'|14",
        "3270|ab cd ef[home][deleteword]|10|'cd ef   '|10",
        "3270|ab cd ef[home][right][delete word]|10|'acd ef  '|11",
        "3270|[keypad5][keypad.][keypad-][keypad,]|10|'5.-,'|14",
        "3270|AB[space]C[home][insert]X|10|'XAB C'|11",
        "3270|[fast right]|10||12",
        "3270|[fast down]|10||170",
    })
    void keysHaveTheirEffectOnTheScreen(String type, String keys, int from, String text, int cursor) {
        station(type);
        assertEquals(ResultCode.OK, keys(keys), keys);
        assertEquals(text == null ? "" : text, screen.text(from, text == null ? 0 : text.length()), keys);
        assertEquals(cursor, screen.cursor(), keys);
        assertEquals(Inhibit.NONE, oia.inhibit(), keys);
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource({"[blue], 0x08", "[red], 0x10", "[pink], 0x18", "[green], 0x20", "[turq], 0x28", "[yellow], 0x30",
                "[white], 0x38", "[revvideo][white], 0xB8", "[underscr], 0xC0", "[red][rstcolor], 0x00",
                "[revvideo][red][rstvideo], 0x10"})
    void colourKeysColourTheCharactersTypedNext(String keys, String attribute) {
        station("3270");
        assertEquals(ResultCode.OK, keys(keys + "A"));
        assertEquals(Integer.decode(attribute), screen.extendedAttributeAt(10));
        assertEquals('A', screen.charAt(10));
    }

    @ParameterizedTest(name = "{0} on {1}")
    @CsvSource({"[pageup], 3270, PF7", "[pagedn], 3270, PF8", "[page up], 5250, ROLL_DOWN",
                "[page down], 5250, ROLL_UP", "[print], 5250, PRINT", "[printps], 5250, PRINT",
                "[help], 5250, HELP", "[test request], 3270, TEST_REQUEST", "[keypadenter], 3270, ENTER",
                "[sys attn], 5250, ATTN", "[sys req], 3270, SYSREQ", "[enterreset], 5250, ENTER",
                "[pf24], 5250, PF24", "[pa3], 3270, PA3", "[clear], 5250, CLEAR"})
    void attentionKeysReachTheHostAsTheStationSendsThem(String key, String type, Aid aid) {
        station(type);
        assertEquals(ResultCode.OK, keys(key));
        assertEquals(List.of(aid), sent.stream().map(InboundMessage::aid).toList());
        assertEquals(Inhibit.SYSTEM_WAIT, oia.inhibit());
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource({"[print]", "[printpc]", "[printhost]", "[jump]", "[devcancel]", "[scrlock]", "[numlock]"})
    void localKeysOf3270LeaveScreenAndHostAlone(String key) {
        station("3270");
        long version = screen.version();
        assertEquals(ResultCode.OK, keys(key));
        assertEquals(version, screen.version());
        assertTrue(sent.isEmpty());
    }

    @ParameterizedTest(name = "{0} while the host is busy")
    @CsvSource({"[attn], OK, 2", "[sysreq], OK, 2", "[sys req], OK, 2", "[sys attn], OK, 2", "x, BUSY, 1",
                "[pf1], BUSY, 1", "[clear], BUSY, 1", "[tab], BUSY, 1", "[fldext], BUSY, 1"})
    void onlyAttnAndSystemRequestPassTheSystemWait(String key, ResultCode result, int messages) {
        station("5250");
        assertEquals(ResultCode.OK, keys("[enter]"));
        assertEquals(result, keys(key));
        assertEquals(messages, sent.size());
        assertEquals(Inhibit.SYSTEM_WAIT, oia.inhibit());
    }

    @ParameterizedTest(name = "designator {0}")
    @CsvSource({"'?', >, true, 0", "'>', ?, false, 0", "'&', &, false, 1", "' ', ' ', false, 1"})
    void cursorSelectTogglesOrAttends(String designator, String after, boolean modified, int messages) {
        station("3270");
        screen.defineField(299, FieldAttribute.PROTECTED_TEXT.intensified());
        screen.write(300, designator + "OPTION");
        screen.defineField(307, FieldAttribute.PROTECTED_TEXT);
        screen.setCursor(302);
        assertEquals(ResultCode.OK, keys("[cursel]"));
        assertEquals(after, String.valueOf(screen.charAt(300)));
        assertEquals(modified, screen.fieldAt(300).orElseThrow().attribute().isModified());
        assertEquals(messages, sent.size());
        if (messages == 1) {
            assertEquals(Aid.CURSOR_SELECT, sent.get(0).aid());
        }
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        // keys refused with the operator error they show
        "5250|[field-]|MINUS_FUNCTION",
        "5250|[hex]4x|MINUS_FUNCTION",
        "3270|[home][left][dup]|PROTECTED_POSITION",
        "5250|[home][left][fldext]|PROTECTED_POSITION",
        "3270|[cursel]|MINUS_FUNCTION",
    })
    void refusedKeysShowTheirOperatorError(String type, String keys, Inhibit inhibit) {
        station(type);
        assertEquals(ResultCode.INHIBITED, keys(keys));
        assertEquals(inhibit, oia.inhibit());
        assertEquals(ResultCode.OK, keys("[reset]"));
        assertEquals(Inhibit.NONE, oia.inhibit());
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource({"[dup], 28", "[fieldmark], 30"})
    void dupAndFieldMarkTravelToTheHostAsTheirCharacters(String key, int code) {
        station("3270");
        assertEquals(ResultCode.OK, keys("A" + key + "[enter]"));
        String text = sent.get(0).textAt(10).orElseThrow();
        assertEquals("A" + (char) code, text.substring(0, 2));
    }
}
