// A session profile: the settings a session starts with, read from a small
// text file "<name>.prf" of key=value lines. Blank lines and lines starting
// with '#' or ';' are ignored; keys are case-insensitive. Keys:
//
//   model=2|3|4|5        terminal model (default 2, 24x80)
//   host=demo|none       the host application (default demo)
//   session=A..Z         preferred short name (default: the first free one)
//   hostDelay=<ms>       simulated host response time, 0..60000 (default 150)
//   connect=yes|no       connect to the host at start (default yes)
//   title=<text>         window title (default: the profile name)
//   terminal=3270|5250   the display station's keyboard (default 3270)
//
// How the demonstration host behaves (all off by default, see HostOptions):
//   hostDelayJitter=<ms> up to this much added at random to each answer's delay
//   answerParts=1..3     writes each answer is painted in (default 1)
//   clock=<ms>           the main menu's clock line is rewritten this often (0 = none)
//   broadcast=<ms>       a broadcast message arrives this long after sign-on (0 = none)
//   wideScreen=yes|no    menu option 3: a 27x132 screen
//   payments=yes|no      menu option 4: payment posting, with a host error to reset
//
// An unknown key or a bad value is an error naming the file and line.
package com.ombrel.eQintra.emulator;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.HashSet;
import java.util.List;
import java.util.Locale;
import java.util.Optional;
import java.util.Set;

public final class Profile {

    public static final String EXTENSION = ".prf";
    public static final Duration DEFAULT_HOST_DELAY = Duration.ofMillis(150);
    private static final long MAX_HOST_DELAY_MILLIS = 60_000;

    private final String name;
    private final Path path;
    private final TerminalModel model;
    private final String host;
    private final Character preferredSession;
    private final Duration hostDelay;
    private final boolean connectAtStart;
    private final String title;
    private final TerminalType terminal;
    private final HostOptions hostOptions;

    private Profile(String name, Path path, TerminalModel model, String host, Character preferredSession,
                    Duration hostDelay, boolean connectAtStart, String title, TerminalType terminal,
                    HostOptions hostOptions) {
        this.terminal = terminal;
        this.hostOptions = hostOptions;
        this.name = name;
        this.path = path;
        this.model = model;
        this.host = host;
        this.preferredSession = preferredSession;
        this.hostDelay = hostDelay;
        this.connectAtStart = connectAtStart;
        this.title = title;
    }

    /** A profile with every setting at its default, not backed by a file. */
    public static Profile defaults(String name) {
        return new Profile(name, null, TerminalModel.MODEL_2, "demo", null, DEFAULT_HOST_DELAY, true, name,
                TerminalType.T3270, HostOptions.PLAIN);
    }

    /** A copy with another model, host delay and preferred session, for sessions started without a file. */
    public Profile with(TerminalModel model, Duration hostDelay, Character preferredSession) {
        return new Profile(name, path, model, host, preferredSession, hostDelay, connectAtStart, title, terminal,
                hostOptions);
    }

    /** A copy with another station and host behaviour. */
    public Profile with(TerminalType terminal, HostOptions hostOptions) {
        return new Profile(name, path, model, host, preferredSession, hostDelay, connectAtStart, title, terminal,
                hostOptions);
    }

    /** Reads a profile file; its name is the file name without ".prf". */
    public static Profile load(Path file) throws IOException {
        String fileName = file.getFileName().toString();
        String name = fileName.endsWith(EXTENSION)
                ? fileName.substring(0, fileName.length() - EXTENSION.length()) : fileName;
        return parse(name, file, Files.readAllLines(file, StandardCharsets.UTF_8));
    }

    /**
     * Parses profile lines.
     *
     * @param path where the lines came from, or null; kept as the workstation profile text
     * @throws InvalidProfileException for an unknown key, a repeated key or a bad value
     */
    public static Profile parse(String name, Path path, List<String> lines) {
        TerminalModel model = TerminalModel.MODEL_2;
        String host = "demo";
        Character session = null;
        Duration delay = DEFAULT_HOST_DELAY;
        boolean connect = true;
        String title = name;
        TerminalType terminal = TerminalType.T3270;
        HostOptions options = HostOptions.PLAIN;
        Set<String> seen = new HashSet<>();
        String source = path != null ? path.toString() : name;
        for (int number = 1; number <= lines.size(); number++) {
            String line = lines.get(number - 1).strip();
            if (line.isEmpty() || line.startsWith("#") || line.startsWith(";")) {
                continue;
            }
            int equals = line.indexOf('=');
            if (equals <= 0) {
                throw new InvalidProfileException(source, number, "expected key=value, found \"" + line + "\"");
            }
            String key = line.substring(0, equals).strip().toLowerCase(Locale.ROOT);
            String value = line.substring(equals + 1).strip();
            if (!seen.add(key)) {
                throw new InvalidProfileException(source, number, "key \"" + key + "\" given twice");
            }
            try {
                switch (key) {
                    case "model" -> model = TerminalModel.ofNumber(Integer.parseInt(value));
                    case "host" -> host = parseHost(value);
                    case "session" -> session = parseShortName(value);
                    case "hostdelay" -> delay = parseDelay("hostDelay", value);
                    case "connect" -> connect = parseYesNo(value);
                    case "title" -> title = value;
                    case "terminal" -> terminal = TerminalType.ofText(value);
                    case "hostdelayjitter" -> options = options.withDelayJitter(parseDelay(key, value));
                    case "answerparts" -> options = options.withAnswerParts(Integer.parseInt(value));
                    case "clock" -> options = options.withClockInterval(parseDelay(key, value));
                    case "broadcast" -> options = options.withBroadcastAfter(parseDelay(key, value));
                    case "widescreen" -> options = options.withWideScreen(parseYesNo(value));
                    case "payments" -> options = options.withPayments(parseYesNo(value));
                    default -> throw new IllegalArgumentException("unknown key \"" + key + "\"");
                }
            } catch (IllegalArgumentException e) {
                throw new InvalidProfileException(source, number, e.getMessage());
            }
        }
        return new Profile(name, path, model, host, session, delay, connect, title, terminal, options);
    }

    public String name() {
        return name;
    }

    /** The file the profile was read from; empty for a profile made in memory. */
    public Optional<Path> path() {
        return Optional.ofNullable(path);
    }

    /** The text the workstation-profile query reports: the file's path, or the name without a file. */
    public String workstationProfileText() {
        return path != null ? path.toString() : name;
    }

    public TerminalModel model() {
        return model;
    }

    /** "demo" or "none". */
    public String host() {
        return host;
    }

    public Optional<Character> preferredSession() {
        return Optional.ofNullable(preferredSession);
    }

    public Duration hostDelay() {
        return hostDelay;
    }

    public boolean connectAtStart() {
        return connectAtStart;
    }

    public String title() {
        return title;
    }

    public TerminalType terminal() {
        return terminal;
    }

    public HostOptions hostOptions() {
        return hostOptions;
    }

    private static String parseHost(String value) {
        String host = value.toLowerCase(Locale.ROOT);
        if (!host.equals("demo") && !host.equals("none")) {
            throw new IllegalArgumentException("host must be demo or none, not \"" + value + "\"");
        }
        return host;
    }

    static char parseShortName(String value) {
        if (value.length() != 1 || !Character.isLetter(value.charAt(0)) || value.charAt(0) > 'z') {
            throw new IllegalArgumentException("session must be one letter A to Z, not \"" + value + "\"");
        }
        return Character.toUpperCase(value.charAt(0));
    }

    private static Duration parseDelay(String key, String value) {
        long millis = Long.parseLong(value);
        if (millis < 0 || millis > MAX_HOST_DELAY_MILLIS) {
            throw new IllegalArgumentException(key + " must be 0 to " + MAX_HOST_DELAY_MILLIS + " ms");
        }
        return Duration.ofMillis(millis);
    }

    private static boolean parseYesNo(String value) {
        return switch (value.toLowerCase(Locale.ROOT)) {
            case "yes", "true", "1", "on" -> true;
            case "no", "false", "0", "off" -> false;
            default -> throw new IllegalArgumentException("expected yes or no, not \"" + value + "\"");
        };
    }

    @Override
    public String toString() {
        return "profile " + name + " (model " + model.number() + ", host " + host + ")";
    }

    /** A profile file that cannot be used; the message names the file and line. */
    public static final class InvalidProfileException extends IllegalArgumentException {
        private static final long serialVersionUID = 1L;

        public InvalidProfileException(String source, int line, String problem) {
            super(source + ":" + line + ": " + problem);
        }
    }
}
