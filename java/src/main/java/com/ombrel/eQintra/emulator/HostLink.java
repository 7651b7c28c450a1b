// The connection between a session and its host application. Attention
// messages are answered on a single host thread after a simulated host
// delay (a fixed part plus, when the profile asks for it, a random part);
// input stays inhibited (system wait) until the answer is painted. An
// answer may be painted in several writes, a fixed gap apart, and the
// keyboard is released only after the last. Attn and System Request, which
// the keyboard passes while the host is busy, cancel the answer still
// pending and are answered instead. The host may also write on its own
// (ticks). An answer that arrives after a disconnect is dropped.
package com.ombrel.eQintra.emulator;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.lang.System.Logger.Level;
import java.time.Duration;
import java.util.Random;
import java.util.concurrent.Executors;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.TimeUnit;

public final class HostLink implements AutoCloseable {

    private static final System.Logger LOG = System.getLogger(HostLink.class.getName());
    /** Time between the writes of an answer painted in parts. */
    public static final Duration PART_GAP = Duration.ofMillis(100);

    private final HostApplication application;
    private final Duration delay;
    private final HostOptions options;
    private final PresentationSpace screen;
    private final OperatorInformationArea oia;
    private final Runnable afterChange;
    private final ScheduledExecutorService hostThread;
    private final Random jitter = new Random(0x5EED);
    private final long startNanos = System.nanoTime();
    /** Grows at every connect and disconnect, so that late answers can be told apart. */
    private long connection;
    /** Grows at every answer cancelled by Attn or System Request. */
    private long answerGeneration;
    private boolean connected;
    /** True while an answer is painted in parts: the host writes nothing else meanwhile. */
    private boolean painting;

    /**
     * @param afterChange runs on the host thread after each answer, outside the screen lock
     */
    public HostLink(char shortName, HostApplication application, Duration delay,
                    PresentationSpace screen, OperatorInformationArea oia, Runnable afterChange) {
        this(shortName, application, delay, HostOptions.PLAIN, screen, oia, afterChange);
    }

    /** As above, with the answer parts and the random delay of the options. */
    public HostLink(char shortName, HostApplication application, Duration delay, HostOptions options,
                    PresentationSpace screen, OperatorInformationArea oia, Runnable afterChange) {
        this.application = application;
        this.delay = delay;
        this.options = options;
        this.screen = screen;
        this.oia = oia;
        this.afterChange = afterChange;
        this.hostThread = Executors.newSingleThreadScheduledExecutor(task -> {
            Thread thread = new Thread(task, "palvero-host-" + shortName);
            thread.setDaemon(true);
            return thread;
        });
        long tick = application.tickInterval().toMillis();
        if (tick > 0) {
            hostThread.scheduleWithFixedDelay(this::tick, tick, tick, TimeUnit.MILLISECONDS);
        }
    }

    public Duration delay() {
        return delay;
    }

    public synchronized boolean isConnected() {
        return connected;
    }

    /** Connects and lets the host paint its first screen. Answers false when already connected. */
    public boolean connect() {
        synchronized (this) {
            if (connected || hostThread.isShutdown()) {
                return false;
            }
            connected = true;
            connection++;
        }
        synchronized (screen) {
            screen.eraseAll();
            application.connected(screen);
        }
        oia.setConnected(true);
        oia.setInhibit(Inhibit.NONE);
        afterChange.run();
        return true;
    }

    /** Drops the connection: the screen is cleared and any pending answer is discarded. */
    public boolean disconnect() {
        synchronized (this) {
            if (!connected) {
                return false;
            }
            connected = false;
            connection++;
            painting = false;
        }
        synchronized (screen) {
            application.disconnected();
            screen.eraseAll();
        }
        oia.setConnected(false);
        oia.setInhibit(Inhibit.NONE);
        afterChange.run();
        return true;
    }

    /** Hands an attention message to the host; it is answered after the delay. */
    public void submit(InboundMessage message) {
        long sentOn;
        long generation;
        synchronized (this) {
            if (!connected || hostThread.isShutdown()) {
                return;
            }
            if (message.aid().interruptsHost()) {
                answerGeneration++;
                painting = false;
            }
            sentOn = connection;
            generation = answerGeneration;
        }
        long millis = delay.toMillis();
        long spread = options.delayJitter().toMillis();
        if (spread > 0) {
            synchronized (jitter) {
                millis += jitter.nextLong(spread + 1);
            }
        }
        hostThread.schedule(() -> answer(message, sentOn, generation), millis, TimeUnit.MILLISECONDS);
    }

    private synchronized boolean current(long sentOn, long generation) {
        return connected && connection == sentOn && answerGeneration == generation;
    }

    private void answer(InboundMessage message, long sentOn, long generation) {
        if (!current(sentOn, generation)) {
            return;
        }
        int parts = options.answerParts();
        if (parts == 1) {
            try {
                synchronized (screen) {
                    application.receive(message, screen);
                }
            } catch (RuntimeException e) {
                // A failing host must not leave the keyboard locked for good.
                LOG.log(Level.WARNING, "host application failed to answer " + message.aid(), e);
            }
            release(sentOn, generation);
            return;
        }
        PresentationSpace answer;
        synchronized (screen) {
            answer = screen.snapshot();
        }
        try {
            application.receive(message, answer);
        } catch (RuntimeException e) {
            LOG.log(Level.WARNING, "host application failed to answer " + message.aid(), e);
            release(sentOn, generation);
            return;
        }
        synchronized (this) {
            painting = true;
        }
        paintPart(answer, 1, parts, sentOn, generation);
    }

    /** Paints part {@code part} of {@code parts}: a band of rows; the next part follows after the gap. */
    private void paintPart(PresentationSpace answer, int part, int parts, long sentOn, long generation) {
        if (!current(sentOn, generation)) {
            return;
        }
        int rows = answer.rows();
        int fromRow = (part - 1) * rows / parts + 1;
        int toRow = part * rows / parts;
        synchronized (screen) {
            screen.paintRows(answer, fromRow, toRow, part == 1, part == parts);
        }
        if (part == parts) {
            synchronized (this) {
                painting = false;
            }
            release(sentOn, generation);
            return;
        }
        afterChange.run();
        hostThread.schedule(() -> paintPart(answer, part + 1, parts, sentOn, generation),
                PART_GAP.toMillis(), TimeUnit.MILLISECONDS);
    }

    /** The end of an answer: the keyboard is released, or locked as the host asks. */
    private void release(long sentOn, long generation) {
        if (current(sentOn, generation)) {
            Inhibit after = application.keyboardAfterAnswer();
            oia.setInhibit(after.isOperatorError() ? after : Inhibit.NONE);
        }
        afterChange.run();
    }

    private void tick() {
        synchronized (this) {
            if (!connected || painting) {
                return;
            }
        }
        boolean wrote;
        try {
            synchronized (screen) {
                wrote = application.tick(screen, (System.nanoTime() - startNanos) / 1_000_000);
            }
        } catch (RuntimeException e) {
            LOG.log(Level.WARNING, "host application failed on its own write", e);
            return;
        }
        if (wrote) {
            afterChange.run();
        }
    }

    @Override
    public void close() {
        synchronized (this) {
            connected = false;
            connection++;
        }
        hostThread.shutdownNow();
    }
}
