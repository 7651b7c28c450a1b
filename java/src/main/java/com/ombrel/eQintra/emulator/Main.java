// Headless emulator: starts sessions from profiles or the command line and
// runs until told to stop by "quit" on standard input, by a stop file, or by
// a termination signal. It prints only what it is asked for.
package com.ombrel.eQintra.emulator;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

public final class Main {

    static final String USAGE = """
            Usage: java -jar palvero-emulator.jar [options] [profile[=L] ...]
              --profiles DIR     profile directory (default ./profiles)
              --session L[:M]    start session L with the demonstration host, model M (2-5, default 2)
              --host-delay MS    host response time of --session sessions (default 150)
              --keys L TEXT      send keystrokes in mnemonic form to session L, e.g. "DEMO01[tab]PALVERO[enter]",
                                 and wait for the host to answer
              --dump L           print the screen of session L
              --exit             end after the --keys and --dump steps instead of running on
              --stop-file PATH   end when this file appears
            Commands on standard input: list, show L, keys L TEXT, start PROFILE [L], stop L, quit
            """;

    private static final Duration HOST_WAIT = Duration.ofSeconds(10);

    private record Step(String kind, char session, String text) {
    }

    private final PrintStream out;
    private final CountDownLatch stopped = new CountDownLatch(1);
    private SessionManager manager;

    private Main(PrintStream out) {
        this.out = out;
    }

    public static void main(String[] args) {
        System.exit(new Main(System.out).run(args));
    }

    int run(String[] args) {
        Path profileDir = Path.of("profiles");
        List<String> profileArgs = new ArrayList<>();
        List<String> sessionArgs = new ArrayList<>();
        List<Step> steps = new ArrayList<>();
        Duration hostDelay = Profile.DEFAULT_HOST_DELAY;
        Path stopFile = null;
        boolean exitAfterSteps = false;
        try {
            for (int i = 0; i < args.length; i++) {
                switch (args[i]) {
                    case "--profiles" -> profileDir = Path.of(value(args, ++i));
                    case "--session" -> sessionArgs.add(value(args, ++i));
                    case "--host-delay" -> hostDelay = Duration.ofMillis(Long.parseLong(value(args, ++i)));
                    case "--keys" -> {
                        char letter = Profile.parseShortName(value(args, ++i));
                        steps.add(new Step("keys", letter, value(args, ++i)));
                    }
                    case "--dump" -> steps.add(new Step("dump", Profile.parseShortName(value(args, ++i)), ""));
                    case "--exit" -> exitAfterSteps = true;
                    case "--stop-file" -> stopFile = Path.of(value(args, ++i));
                    case "--help", "-h" -> {
                        out.print(USAGE);
                        return 0;
                    }
                    default -> {
                        if (args[i].startsWith("--")) {
                            throw new IllegalArgumentException("unknown option " + args[i]);
                        }
                        profileArgs.add(args[i]);
                    }
                }
            }
        } catch (IllegalArgumentException e) {
            System.err.println("palvero-emulator: " + e.getMessage());
            System.err.print(USAGE);
            return 2;
        }

        manager = new SessionManager(new ProfileDirectory(profileDir));
        Runtime.getRuntime().addShutdownHook(new Thread(manager::close, "palvero-shutdown"));
        try {
            for (String session : sessionArgs) {
                startFromArgument(session, hostDelay);
            }
            for (String profile : profileArgs) {
                int equals = profile.lastIndexOf('=');
                String name = equals > 0 ? profile.substring(0, equals) : profile;
                String letter = equals > 0 ? profile.substring(equals + 1) : "";
                SessionManager.StartResult result = manager.start(name, letter);
                if (result != SessionManager.StartResult.STARTED) {
                    throw new IllegalStateException("cannot start profile " + name + ": " + result);
                }
            }
            for (Step step : steps) {
                runStep(step);
            }
        } catch (IllegalArgumentException | IllegalStateException e) {
            System.err.println("palvero-emulator: " + e.getMessage());
            manager.close();
            return 1;
        }
        if (exitAfterSteps) {
            manager.close();
            return 0;
        }
        startCommandReader();
        waitForStop(stopFile);
        manager.close();
        return 0;
    }

    private void startFromArgument(String argument, Duration hostDelay) {
        String[] parts = argument.split(":", 2);
        char letter = Profile.parseShortName(parts[0]);
        TerminalModel model = parts.length > 1 ? TerminalModel.ofNumber(Integer.parseInt(parts[1]))
                : TerminalModel.MODEL_2;
        Profile profile = Profile.defaults("session" + letter).with(model, hostDelay, letter);
        SessionManager.StartResult result = manager.start(profile, "");
        if (result != SessionManager.StartResult.STARTED) {
            throw new IllegalStateException("cannot start session " + letter + ": " + result);
        }
    }

    private void runStep(Step step) {
        Session session = manager.session(step.session())
                .orElseThrow(() -> new IllegalStateException("no session " + step.session()));
        switch (step.kind()) {
            case "keys" -> {
                ResultCode result = session.sendKeys(step.text(), true);
                if (result != ResultCode.OK) {
                    throw new IllegalStateException("keys refused by session " + step.session() + ": " + result);
                }
                awaitHost(session);
            }
            case "dump" -> {
                awaitHost(session);
                out.print(ScreenDump.render(session));
            }
            default -> throw new IllegalStateException("unknown step " + step.kind());
        }
    }

    private static void awaitHost(Session session) {
        try {
            if (!session.awaitInputAllowed(HOST_WAIT)) {
                throw new IllegalStateException("session " + session.shortName() + " stays busy");
            }
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    private void startCommandReader() {
        Thread reader = new Thread(() -> {
            try (BufferedReader in = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8))) {
                String line;
                while ((line = in.readLine()) != null) {
                    if (!command(line.strip())) {
                        stopped.countDown();
                        return;
                    }
                }
            } catch (IOException e) {
                // Without a readable standard input the emulator runs until signalled.
            }
        }, "palvero-commands");
        reader.setDaemon(true);
        reader.start();
    }

    /** Runs one command line; answers false for quit. */
    boolean command(String line) {
        if (line.isEmpty()) {
            return true;
        }
        String[] words = line.split("\\s+", 3);
        String verb = words[0].toLowerCase(Locale.ROOT);
        try {
            switch (verb) {
                case "quit", "exit" -> {
                    return false;
                }
                case "list" -> {
                    for (Session session : manager.sessions()) {
                        out.printf("%c %-12s model %d %s%n", session.shortName(), session.profile().name(),
                                session.profile().model().number(),
                                session.isConnected() ? "connected" : "not connected");
                    }
                }
                case "show" -> out.print(ScreenDump.render(sessionNamed(words)));
                case "keys" -> {
                    if (words.length < 3) {
                        throw new IllegalArgumentException("keys L TEXT");
                    }
                    out.println(sessionNamed(words).sendKeys(words[2], true));
                }
                case "start" -> {
                    if (words.length < 2) {
                        throw new IllegalArgumentException("start PROFILE [L]");
                    }
                    out.println(manager.start(words[1], words.length > 2 ? words[2] : ""));
                }
                case "stop" -> out.println(manager.stop(sessionNamed(words).shortName()) ? "stopped" : "not running");
                default -> out.println("unknown command: " + verb);
            }
        } catch (IllegalArgumentException e) {
            out.println("error: " + e.getMessage());
        }
        out.flush();
        return true;
    }

    private Session sessionNamed(String[] words) {
        if (words.length < 2) {
            throw new IllegalArgumentException("session letter missing");
        }
        char letter = Profile.parseShortName(words[1]);
        return manager.session(letter).orElseThrow(() -> new IllegalArgumentException("no session " + letter));
    }

    private void waitForStop(Path stopFile) {
        try {
            while (!stopped.await(250, TimeUnit.MILLISECONDS)) {
                if (stopFile != null && Files.exists(stopFile)) {
                    return;
                }
            }
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
    }

    private static String value(String[] args, int index) {
        if (index >= args.length) {
            throw new IllegalArgumentException(args[index - 1] + " needs a value");
        }
        return args[index];
    }
}
