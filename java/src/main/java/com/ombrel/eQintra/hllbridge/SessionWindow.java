// A session's window on the display: a Swing frame titled with the session's
// window title that shows the session's screen as text in a monospaced font,
// refreshed a few times a second. The window services of HLLBridge act on it:
// its title, its bounds, its visibility and the size of one character cell.
//
// Thread-safe: every method may be called from any thread; the Swing work
// runs on the event dispatch thread, and the caller waits for it.
package com.ombrel.eQintra.hllbridge;

import com.ombrel.eQintra.emulator.ScreenDump;
import com.ombrel.eQintra.emulator.Session;
import java.awt.Font;
import java.awt.FontMetrics;
import java.awt.Rectangle;
import java.util.concurrent.ExecutionException;
import java.util.concurrent.FutureTask;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import java.util.function.Supplier;
import javax.swing.JFrame;
import javax.swing.JTextArea;
import javax.swing.SwingUtilities;
import javax.swing.Timer;
import javax.swing.WindowConstants;

final class SessionWindow {

    private static final int REFRESH_MILLIS = 250;
    private static final long EVENT_THREAD_LIMIT_SECONDS = 5;

    private final JFrame frame;
    private final JTextArea screen;
    private final Timer refresh;

    private SessionWindow(Session session, String title) {
        frame = new JFrame(title);
        frame.setDefaultCloseOperation(WindowConstants.DO_NOTHING_ON_CLOSE);
        screen = new JTextArea(ScreenDump.render(session));
        screen.setEditable(false);
        screen.setFont(new Font(Font.MONOSPACED, Font.PLAIN, 14));
        frame.add(screen);
        frame.pack();
        frame.setLocation(40, 40);
        frame.setVisible(true);
        refresh = new Timer(REFRESH_MILLIS, e -> {
            String text = ScreenDump.render(session);
            if (!text.equals(screen.getText())) {
                screen.setText(text);
            }
        });
        refresh.start();
    }

    /** Opens the session's window and answers once it is on the screen. */
    static SessionWindow open(Session session, String title) {
        return onEventThread(() -> new SessionWindow(session, title));
    }

    String title() {
        return onEventThread(frame::getTitle);
    }

    void setTitle(String title) {
        onEventThread(() -> {
            frame.setTitle(title);
            return null;
        });
    }

    /** The whole window's bounds on the screen, frame included. */
    Rectangle bounds() {
        return onEventThread(frame::getBounds);
    }

    boolean isVisible() {
        return onEventThread(frame::isVisible);
    }

    void setVisible(boolean visible) {
        onEventThread(() -> {
            frame.setVisible(visible);
            return null;
        });
    }

    /** The character cell: width in bits 16-31, height in bits 0-15. */
    long cellSize() {
        return onEventThread(() -> {
            FontMetrics metrics = screen.getFontMetrics(screen.getFont());
            return ((long) metrics.charWidth('M') << 16) | (metrics.getHeight() & 0xFFFF);
        });
    }

    /** Closes the window; a window whose display is gone is left as it is. */
    void close() {
        try {
            onEventThread(() -> {
                refresh.stop();
                frame.dispose();
                return null;
            });
        } catch (IllegalStateException e) {
            // Nothing more to close: the event thread no longer runs.
        }
    }

    /**
     * Runs {@code work} on the event thread and answers its result. The wait
     * is bounded: an event thread that no longer runs (its display gone)
     * must not hang the caller, whether that is a window request or the
     * emulator ending.
     */
    private static <T> T onEventThread(Supplier<T> work) {
        if (SwingUtilities.isEventDispatchThread()) {
            return work.get();
        }
        FutureTask<T> task = new FutureTask<>(work::get);
        SwingUtilities.invokeLater(task);
        try {
            return task.get(EVENT_THREAD_LIMIT_SECONDS, TimeUnit.SECONDS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new IllegalStateException("interrupted while the window was being changed", e);
        } catch (ExecutionException e) {
            throw new IllegalStateException("the window could not be changed", e.getCause());
        } catch (TimeoutException e) {
            task.cancel(false);
            throw new IllegalStateException("the window's event thread did not answer", e);
        }
    }
}
