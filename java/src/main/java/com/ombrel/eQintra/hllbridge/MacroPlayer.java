// Macros: small text files named <name>.mac in the profile's directory, one
// step a line, played on a session:
//
//   keys <keys>               typed as the keyboard takes them ("[enter]")
//   wait                      until the keyboard is free (at most 5 seconds)
//   pause <milliseconds>      a fixed pause
//   # ...                     a comment; blank lines are skipped
//
// Answers 0 when every step ran, 2 for an unknown macro or step, and the
// code of the first keystroke string that failed.
package com.ombrel.eQintra.hllbridge;

import com.ombrel.eQintra.emulator.ResultCode;
import com.ombrel.eQintra.emulator.Session;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.Locale;
import java.util.Optional;

final class MacroPlayer {

    static final String EXTENSION = ".mac";
    private static final long MAX_PAUSE_MILLIS = 60_000;

    private MacroPlayer() {
    }

    /** The macro file of {@code name} for the session's profile, when there is one. */
    static Optional<Path> find(Session session, String name) {
        if (name.isEmpty() || name.contains("/") || name.contains("\\") || name.startsWith(".")) {
            return Optional.empty();
        }
        Optional<Path> profile = session.profile().path();
        if (profile.isEmpty() || profile.get().toAbsolutePath().getParent() == null) {
            return Optional.empty();
        }
        try {
            Path file = HostFileStore.existing(profile.get().toAbsolutePath().getParent().resolve(name + EXTENSION));
            return Files.isRegularFile(file) ? Optional.of(file) : Optional.empty();
        } catch (IOException e) {
            return Optional.empty();
        }
    }

    static int play(Session session, String name) {
        Optional<Path> file = find(session, name.trim());
        if (file.isEmpty()) {
            return ResultCode.PARAMETER_ERROR.code();
        }
        List<String> lines;
        try {
            lines = Files.readAllLines(file.get(), StandardCharsets.ISO_8859_1);
        } catch (IOException e) {
            return ResultCode.SYSTEM_ERROR.code();
        }
        try {
            for (String line : lines) {
                String step = line.strip();
                if (step.isEmpty() || step.startsWith("#")) {
                    continue;
                }
                String[] parts = step.split("\\s+", 2);
                String argument = parts.length > 1 ? parts[1] : "";
                switch (parts[0].toLowerCase(Locale.ROOT)) {
                    case "keys" -> {
                        ResultCode result = session.sendKeys(argument, true);
                        if (result != ResultCode.OK) {
                            return result.code();
                        }
                    }
                    case "wait" -> session.awaitInputAllowed(Session.KEYBOARD_WAIT);
                    case "pause" -> Thread.sleep(Math.min(MAX_PAUSE_MILLIS, Long.parseLong(argument.trim())));
                    default -> {
                        return ResultCode.PARAMETER_ERROR.code();
                    }
                }
            }
        } catch (NumberFormatException e) {
            return ResultCode.PARAMETER_ERROR.code();
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            return ResultCode.SYSTEM_ERROR.code();
        }
        return ResultCode.OK.code();
    }
}
