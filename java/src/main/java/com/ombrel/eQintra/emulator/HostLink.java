// The connection between a session and its host application. Attention
// messages are answered on a single host thread after a simulated host
// delay; input stays inhibited (system wait) until the answer is painted.
// An answer that arrives after a disconnect is dropped.
package com.ombrel.eQintra.emulator;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.lang.System.Logger.Level;
import java.time.Duration;
import java.util.concurrent.Executors;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.TimeUnit;

public final class HostLink implements AutoCloseable {

    private static final System.Logger LOG = System.getLogger(HostLink.class.getName());

    private final HostApplication application;
    private final Duration delay;
    private final PresentationSpace screen;
    private final OperatorInformationArea oia;
    private final Runnable afterChange;
    private final ScheduledExecutorService hostThread;
    /** Grows at every connect and disconnect, so that late answers can be told apart. */
    private long connection;
    private boolean connected;

    /**
     * @param afterChange runs on the host thread after each answer, outside the screen lock
     */
    public HostLink(char shortName, HostApplication application, Duration delay,
                    PresentationSpace screen, OperatorInformationArea oia, Runnable afterChange) {
        this.application = application;
        this.delay = delay;
        this.screen = screen;
        this.oia = oia;
        this.afterChange = afterChange;
        this.hostThread = Executors.newSingleThreadScheduledExecutor(task -> {
            Thread thread = new Thread(task, "palvero-host-" + shortName);
            thread.setDaemon(true);
            return thread;
        });
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
        synchronized (this) {
            if (!connected || hostThread.isShutdown()) {
                return;
            }
            sentOn = connection;
        }
        hostThread.schedule(() -> answer(message, sentOn), delay.toMillis(), TimeUnit.MILLISECONDS);
    }

    private void answer(InboundMessage message, long sentOn) {
        synchronized (this) {
            if (!connected || connection != sentOn) {
                return;
            }
        }
        try {
            synchronized (screen) {
                application.receive(message, screen);
            }
        } catch (RuntimeException e) {
            // A failing host must not leave the keyboard locked for good.
            LOG.log(Level.WARNING, "host application failed to answer " + message.aid(), e);
        }
        oia.setInhibit(Inhibit.NONE);
        afterChange.run();
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
