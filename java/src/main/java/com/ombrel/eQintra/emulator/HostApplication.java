// A host application a session talks to. The host link calls it on its own
// host thread, one call at a time, with the screen lock held: it paints the
// presentation space directly and must not block.
package com.ombrel.eQintra.emulator;

import com.ombrel.eQintra.emulator.OperatorInformationArea.Inhibit;
import java.time.Duration;

public interface HostApplication {

    /** Paints the first screen when the session connects. */
    void connected(PresentationSpace screen);

    /**
     * Answers an attention key by updating the screen. The screen may be a
     * copy that the host link then paints in several writes.
     */
    void receive(InboundMessage message, PresentationSpace screen);

    /**
     * The keyboard state the last answer leaves: NONE releases the keyboard;
     * an operator-error state keeps it locked until the operator's Reset.
     */
    default Inhibit keyboardAfterAnswer() {
        return Inhibit.NONE;
    }

    /** How often the host link offers {@link #tick}; zero for never. */
    default Duration tickInterval() {
        return Duration.ZERO;
    }

    /**
     * The host's chance to write on its own (a clock, a broadcast message),
     * offered every {@link #tickInterval} while connected and no answer is
     * being painted. Answers whether it wrote to the screen.
     *
     * @param nowMillis the host link's clock, milliseconds since the session started
     */
    default boolean tick(PresentationSpace screen, long nowMillis) {
        return false;
    }

    /** The session disconnected; the next connect starts afresh. */
    default void disconnected() {
    }
}
