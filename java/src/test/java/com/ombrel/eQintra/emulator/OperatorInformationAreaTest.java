package com.ombrel.eQintra.emulator;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import org.junit.jupiter.api.Test;

class OperatorInformationAreaTest {

    private final OperatorInformationArea oia = new OperatorInformationArea();

    private String imageText(byte[] image) {
        return new String(image, OperatorInformationArea.TEXT_OFFSET, OperatorInformationArea.TEXT_LENGTH,
                StandardCharsets.ISO_8859_1);
    }

    @Test
    void idleImageHasFormatReadyBitAndNoInhibit() {
        byte[] image = oia.image();
        assertEquals(104, image.length);
        assertEquals('1', image[0]);
        assertEquals(OperatorInformationArea.ONLINE_SUBSYSTEM_READY, image[81]);
        for (int offset = 82; offset < 104; offset++) {
            assertEquals(0, image[offset], "byte " + offset);
        }
        assertEquals("4", imageText(image).strip());
    }

    @Test
    void connectedSystemWaitAndInsertShowInBitsAndText() {
        oia.setConnected(true);
        oia.setInsertMode(true);
        oia.setInhibit(Inhibit.SYSTEM_WAIT);
        byte[] image = oia.image();
        assertEquals(0x14, image[81]);
        assertEquals((byte) 0x80, image[87]);
        assertEquals(0x20, image[91]);
        assertEquals(0, image[89] | image[90]);
        String text = imageText(image);
        assertTrue(text.startsWith("4B      X SYSTEM"), text);
        assertEquals('^', text.charAt(51));
    }

    @Test
    void eachInhibitReasonSetsOnlyItsOwnBit() {
        for (Inhibit inhibit : Inhibit.values()) {
            oia.setInhibit(inhibit);
            byte[] image = oia.image();
            int bitsSet = 0;
            for (int offset = 88; offset < 93; offset++) {
                bitsSet += Integer.bitCount(image[offset] & 0xFF);
            }
            assertEquals(inhibit == Inhibit.NONE ? 0 : 1, bitsSet, inhibit.name());
            assertEquals(inhibit != Inhibit.NONE, oia.isInputInhibited());
        }
    }

    @Test
    void resetClearsOperatorErrorsButNotSystemWait() {
        oia.setInhibit(Inhibit.NUMERIC_ONLY);
        assertTrue(oia.resetOperatorError());
        assertFalse(oia.isInputInhibited());
        oia.setInhibit(Inhibit.SYSTEM_WAIT);
        assertFalse(oia.resetOperatorError());
        assertEquals(Inhibit.SYSTEM_WAIT, oia.inhibit());
    }

    @Test
    void waitersAreReleasedWhenInputIsAllowed() throws Exception {
        oia.setInhibit(Inhibit.SYSTEM_WAIT);
        assertFalse(oia.awaitInputAllowed(Duration.ofMillis(20)));
        Thread release = new Thread(() -> {
            try {
                Thread.sleep(50);
            } catch (InterruptedException e) {
                return;
            }
            oia.setInhibit(Inhibit.NONE);
        });
        release.start();
        assertTrue(oia.awaitInputAllowed(Duration.ofSeconds(5)));
        release.join();
    }
}
