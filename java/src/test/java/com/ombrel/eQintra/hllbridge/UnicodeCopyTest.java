package com.ombrel.eQintra.hllbridge;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.FieldAttribute;
import com.ombrel.eQintra.emulator.PresentationSpace;
import com.ombrel.eQintra.emulator.Profile;
import com.ombrel.eQintra.emulator.Session;
import com.ombrel.eQintra.emulator.TerminalModel;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** Copy PS of characters outside Latin-1: Unicode when the caller left room for it, '?' otherwise. */
class UnicodeCopyTest {

    private Session session;
    private RecordingBridge bridge;

    @BeforeEach
    void setUp() {
        Profile profile = Profile.defaults("u").with(TerminalModel.MODEL_2, Duration.ZERO, 'A');
        session = new Session('A', profile, null);
        PresentationSpace screen = session.screen();
        screen.defineField(1914, FieldAttribute.PROTECTED_TEXT);
        screen.write(1915, "\u20ac1 z\u0142");
        bridge = new RecordingBridge(session);
        assertTrue(bridge.register());
    }

    @AfterEach
    void tearDown() {
        bridge.unregister();
        session.close();
    }

    /**
     * A caller's length is a byte count; a copy that runs to the end of the
     * screen leaves the rest of it unused, and the Unicode copy needs two
     * bytes a position (Copy PS with the end-of-text option, Copy PS to
     * String asked for twice the positions left).
     */
    @ParameterizedTest(name = "from {0}, length {1}, attribute mode {2}")
    @CsvSource(delimiter = '|', value = {
        // position | caller's length | attribute mode | positions answered, 0 for a single-byte reply | reply ends with
        "1915|12|0|6|'\u20ac1 z\u0142 '",
        "1915|11|0|0|'?1 z? '",
        "1915|5|0|0|?1 z?",
        "1914|14|2|7|'\u0000\u20ac1 z\u0142 '",
        "1914|14|1|7|'\u00e0\u20ac1 z\u0142 '",
        "1|3840|0|1920|'   \u20ac1 z\u0142 '",
        "1|5760|0|1920|'   \u20ac1 z\u0142 '",
        "1|1920|0|0|'   ?1 z? '",
        "1|3000|0|0|'   ?1 z? '",
        "1|200|0|0|'   '",
    })
    void copyPsAnswersUnicodeOnlyWithRoomForIt(int position, int length, int attributeMode, int positions,
                                               String end) {
        assertEquals(0, bridge.CopyPS(position, length, attributeMode, true, 0));
        byte[] data = bridge.lastReply();
        String last = bridge.events.get(bridge.events.size() - 1);
        if (positions > 0) {
            assertEquals("unicode " + positions, last);
            assertEquals(2 * positions, data.length);
            String text = new String(data, StandardCharsets.UTF_16LE);
            assertTrue(text.endsWith(end), text);
        } else {
            assertEquals("register", last);
            String text = new String(data, StandardCharsets.ISO_8859_1);
            assertTrue(text.endsWith(end), text);
        }
    }
}
