package com.ombrel.eQintra.emulator;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.time.Duration;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

class ProfileTest {

    @Test
    void keysAreReadWithCommentsBlanksAndAnyCase() {
        Profile profile = Profile.parse("payroll", null, List.of(
                "# payroll session",
                "",
                "Model = 4",
                "HOST=demo",
                "; preferred letter",
                "session=c",
                "hostDelay=25",
                "connect=no",
                "title=Payroll (night shift)"));
        assertEquals(TerminalModel.MODEL_4, profile.model());
        assertEquals("demo", profile.host());
        assertEquals('C', profile.preferredSession().orElseThrow());
        assertEquals(Duration.ofMillis(25), profile.hostDelay());
        assertFalse(profile.connectAtStart());
        assertEquals("Payroll (night shift)", profile.title());
        assertEquals("payroll", profile.workstationProfileText());
    }

    @Test
    void missingKeysTakeDefaults() {
        Profile profile = Profile.parse("plain", null, List.of());
        assertEquals(TerminalModel.MODEL_2, profile.model());
        assertEquals("demo", profile.host());
        assertTrue(profile.preferredSession().isEmpty());
        assertEquals(Profile.DEFAULT_HOST_DELAY, profile.hostDelay());
        assertTrue(profile.connectAtStart());
        assertEquals("plain", profile.title());
    }

    @ParameterizedTest
    @ValueSource(strings = {"model=6", "model=two", "host=central", "session=AB", "session=1",
            "hostDelay=-1", "hostDelay=999999", "connect=maybe", "colour=blue", "no equals sign", "=2"})
    void badLinesAreRefusedWithTheirLineNumber(String line) {
        Profile.InvalidProfileException error = assertThrows(Profile.InvalidProfileException.class,
                () -> Profile.parse("bad", null, List.of("# first line", line)));
        assertTrue(error.getMessage().startsWith("bad:2: "), error.getMessage());
    }

    @Test
    void repeatedKeyIsRefused() {
        assertThrows(Profile.InvalidProfileException.class,
                () -> Profile.parse("twice", null, List.of("model=2", "MODEL=3")));
    }

    @Test
    void directoryListsAndLoadsProfilesByNameOrPath(@TempDir Path dir) throws IOException {
        Files.writeString(dir.resolve("payroll.prf"), "model=3\nsession=P\n");
        Files.writeString(dir.resolve("orders.prf"), "model=5\n");
        Files.writeString(dir.resolve("notes.txt"), "not a profile\n");
        ProfileDirectory profiles = new ProfileDirectory(dir);
        assertEquals(List.of("orders", "payroll"), profiles.names());

        Profile payroll = profiles.load("payroll");
        assertEquals("payroll", payroll.name());
        assertEquals(TerminalModel.MODEL_3, payroll.model());
        assertEquals(dir.resolve("payroll.prf").toString(), payroll.workstationProfileText());

        Profile byPath = profiles.load(dir.resolve("orders.prf").toString());
        assertEquals("orders", byPath.name());
        assertEquals(TerminalModel.MODEL_5, byPath.model());

        assertThrows(NoSuchFileException.class, () -> profiles.load("missing"));
        assertEquals(List.of(), new ProfileDirectory(dir.resolve("absent")).names());
    }
}
