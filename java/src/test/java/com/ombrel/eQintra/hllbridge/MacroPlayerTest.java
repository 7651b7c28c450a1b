package com.ombrel.eQintra.hllbridge;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ombrel.eQintra.emulator.DemoHost;
import com.ombrel.eQintra.emulator.Profile;
import com.ombrel.eQintra.emulator.Session;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class MacroPlayerTest {

    @TempDir
    Path profiles;

    private Session session;

    @BeforeEach
    void setUp() {
        Profile profile = Profile.parse("demo", profiles.resolve("demo.prf"), List.of("hostDelay=20"));
        session = new Session('A', profile, new DemoHost());
        assertTrue(session.connect());
    }

    @AfterEach
    void tearDown() {
        session.close();
    }

    @Test
    void aMacroSignsOn() throws Exception {
        Files.writeString(profiles.resolve("signon.mac"),
                "# sign on to the demonstration host\nwait\nkeys demo01[tab]palvero[enter]\n\nwait\n");
        // The caller's side upper-cases names.
        assertEquals(0, MacroPlayer.play(session, "SIGNON"));
        assertTrue(session.screen().rowText(1).contains("Main Menu"), session.screen().rowText(1));
    }

    @Test
    void unknownMacrosAndStepsAnswerTwo() throws Exception {
        assertEquals(2, MacroPlayer.play(session, "nothing"));
        assertEquals(2, MacroPlayer.play(session, "../demo"));
        Files.writeString(profiles.resolve("bad.mac"), "jump 3\n");
        assertEquals(2, MacroPlayer.play(session, "bad"));
    }
}
