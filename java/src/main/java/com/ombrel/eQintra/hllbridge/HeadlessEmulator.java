// The emulator without a window, offering its sessions to native callers:
// loads the native library, registers the session-management interface,
// starts sessions from profiles (each registered for EHLLAPI as it starts)
// and prints one line "ready <version> sessions <letters>" once all of that
// is done. It ends on "quit" on standard input, at the end of standard input,
// or on a termination signal, unregistering its sessions and the interface
// before the virtual machine goes.
//
// Usage:
//   java -Dtrvha64.library=/abs/libtrvha64.so -cp palvero-emulator.jar \
//        com.ombrel.eQintra.hllbridge.HeadlessEmulator [--library PATH] [--profiles DIR] [--windows]
//        [profile[=L] ...]
// ("--help" prints the usage.)
// Without profile arguments the profile "demo" runs as sessions A and B.
// With --windows and a display (DISPLAY set, not java.awt.headless), each
// session has a window titled "<profile> - <letter>" that the window services
// act on; otherwise, and by default, sessions have no window and the window
// services work on a notional one.
//
// Commands on standard input, each answered by lines ending with a line "end":
//   show L          the screen of session L as the reference emulator renders it
//   keys L TEXT     operator keystrokes (mnemonic form) on session L; offered to intercepting callers
//   close L         an attempt to close session L, as by a window's close box
//   sent L          the keystroke strings callers sent to session L since the last "sent",
//                   oldest first, one a line: the retry flag (true/false), a blank, the mnemonics
//   interrupt L     Thread.interrupt() of the thread that served session L's latest caller request
//   start PROFILE [L], stop L, list
//   quit
package com.ombrel.eQintra.hllbridge;

import com.ombrel.eQintra.emulator.ProfileDirectory;
import com.ombrel.eQintra.emulator.ScreenDump;
import com.ombrel.eQintra.emulator.Session;
import com.ombrel.eQintra.emulator.SessionManager;
import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Optional;
import java.util.stream.Collectors;

public final class HeadlessEmulator {

    /** What --help prints (and a bad option, on standard error). */
    static final String USAGE = """
            usage: java -cp palvero-emulator.jar com.ombrel.eQintra.hllbridge.HeadlessEmulator \\
                       [--library PATH] [--profiles DIR] [--windows] [PROFILE[=LETTER] ...]
              --library PATH   the native library (libtrvha64.so) by path; or -Dtrvha64.library=PATH
              --profiles DIR   where PROFILE.prf files are read from (default: ./profiles)
              --windows        a window per session when a display is present (default: none)
              PROFILE=LETTER   start a session from PROFILE.prf as session LETTER (default: demo=A demo=B)
            Prints "ready <version> sessions <letters>" once every session is offered to callers.
            Callers reach the sessions only with the same TRVHA64_NAMESPACE (Linux) as this process.
            Commands on standard input, each answered by lines and a line "end":
              show L, keys L TEXT, close L, sent L, interrupt L, start PROFILE [L], stop L, list, quit
            It ends on "quit", at the end of standard input or on a termination signal.
            """;

    /** System property naming the native library by absolute path. */
    public static final String LIBRARY_PROPERTY = "trvha64.library";

    private final PrintStream out;
    private final SessionManager manager;
    private final SessionBridges bridges = new SessionBridges();
    private final QMXAPIEnabler enabler;
    private boolean shutDown;

    private HeadlessEmulator(PrintStream out, Path profiles) {
        this.out = out;
        this.manager = new SessionManager(new ProfileDirectory(profiles));
        this.enabler = new QMXAPIEnabler(manager);
    }

    public static void main(String[] args) {
        System.exit(run(args, System.out));
    }

    static int run(String[] args, PrintStream out) {
        String library = System.getProperty(LIBRARY_PROPERTY);
        Path profiles = Path.of("profiles");
        List<String> starts = new ArrayList<>();
        boolean windows = false;
        try {
            for (int i = 0; i < args.length; i++) {
                switch (args[i]) {
                    case "--library" -> library = value(args, ++i);
                    case "--profiles" -> profiles = Path.of(value(args, ++i));
                    case "--help", "-h" -> {
                        out.print(USAGE);
                        out.flush();
                        return 0;
                    }
                    case "--windows" -> windows = true;
                    default -> {
                        if (args[i].startsWith("--")) {
                            throw new IllegalArgumentException("unknown option " + args[i]);
                        }
                        starts.add(args[i]);
                    }
                }
            }
        } catch (IllegalArgumentException e) {
            System.err.println("headless emulator: " + e.getMessage());
            System.err.print(USAGE);
            return 2;
        }
        if (library == null || library.isEmpty()) {
            System.err.println("headless emulator: give the library's absolute path with --library or -D"
                    + LIBRARY_PROPERTY);
            return 2;
        }
        if (starts.isEmpty()) {
            starts = List.of("demo=A", "demo=B");
        }
        try {
            System.load(Path.of(library).toAbsolutePath().toString());
        } catch (UnsatisfiedLinkError e) {
            System.err.println("headless emulator: cannot load " + library + ": " + e.getMessage());
            return 1;
        }

        HeadlessEmulator emulator = new HeadlessEmulator(out, profiles);
        Runtime.getRuntime().addShutdownHook(new Thread(emulator::shutDown, "bridge-shutdown"));
        // The session-management registration hands the library the virtual
        // machine that every EHLLAPI request is served through, so it comes first.
        emulator.enabler.register();
        if (windows && java.awt.GraphicsEnvironment.isHeadless()) {
            System.err.println("headless emulator: no display; the sessions have no windows");
        } else if (windows) {
            emulator.bridges.openWindows();
        }
        emulator.bridges.attach(emulator.manager);
        for (String start : starts) {
            int equals = start.lastIndexOf('=');
            String profile = equals > 0 ? start.substring(0, equals) : start;
            String letter = equals > 0 ? start.substring(equals + 1) : "";
            SessionManager.StartResult result = emulator.manager.start(profile, letter);
            if (result != SessionManager.StartResult.STARTED) {
                System.err.println("headless emulator: cannot start " + start + ": " + result);
                emulator.shutDown();
                return 1;
            }
        }
        String letters = emulator.manager.sessions().stream().map(s -> String.valueOf(s.shortName()))
                .collect(Collectors.joining(""));
        out.println("ready " + HLLBridge.cppGetVersion() + " sessions " + letters);
        out.flush();
        emulator.commands();
        emulator.shutDown();
        return 0;
    }

    /** Stops the sessions (each unregisters on the way), then the session-management interface. */
    private void shutDown() {
        synchronized (this) {
            if (shutDown) {
                return;
            }
            shutDown = true;
        }
        manager.close();
        bridges.unregisterAll();
        enabler.unregister();
    }

    /** Reads commands until "quit" or the end of standard input. */
    private void commands() {
        try (BufferedReader in = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8))) {
            String line;
            while ((line = in.readLine()) != null) {
                if (!command(line.strip())) {
                    return;
                }
            }
        } catch (IOException e) {
            // Standard input gone: end as on "quit".
        }
    }

    private boolean command(String line) {
        String[] words = line.split("\\s+", 3);
        String verb = words[0].toLowerCase(Locale.ROOT);
        if (verb.equals("quit")) {
            return false;
        }
        if (!verb.isEmpty()) {
            try {
                switch (verb) {
                    case "show" -> out.print(ScreenDump.render(session(words)));
                    case "keys" -> out.println(session(words).operatorKeys(words.length > 2 ? words[2] : ""));
                    case "close" -> out.println(session(words).requestClose() ? "closed" : "intercepted");
                    case "sent" -> bridges.bridge(session(words).shortName())
                            .orElseThrow(() -> new IllegalArgumentException("session " + words[1]
                                    + " is not offered to callers"))
                            .takeSentKeys().forEach(out::println);
                    case "interrupt" -> out.println(bridges.bridge(session(words).shortName())
                            .orElseThrow(() -> new IllegalArgumentException("session " + words[1]
                                    + " is not offered to callers"))
                            .interruptServingThread() ? "interrupted" : "no request served yet");
                    case "start" -> out.println(manager.start(words.length > 1 ? words[1] : "",
                            words.length > 2 ? words[2] : ""));
                    case "stop" -> out.println(manager.stop(letter(words)) ? "stopped" : "not running");
                    case "list" -> manager.sessions().forEach(s -> out.println(s.shortName() + " "
                            + s.profile().name() + " status " + s.statusWord()));
                    default -> out.println("error: unknown command " + verb);
                }
            } catch (IllegalArgumentException e) {
                out.println("error: " + e.getMessage());
            }
        }
        out.println("end");
        out.flush();
        return true;
    }

    private Session session(String[] words) {
        char letter = letter(words);
        Optional<Session> session = manager.session(letter);
        return session.orElseThrow(() -> new IllegalArgumentException("no session " + letter));
    }

    private static char letter(String[] words) {
        if (words.length < 2 || words[1].length() != 1 || !Character.isLetter(words[1].charAt(0))) {
            throw new IllegalArgumentException("a session letter is needed");
        }
        return Character.toUpperCase(words[1].charAt(0));
    }

    private static String value(String[] args, int index) {
        if (index >= args.length) {
            throw new IllegalArgumentException(args[index - 1] + " needs a value");
        }
        return args[index];
    }
}
