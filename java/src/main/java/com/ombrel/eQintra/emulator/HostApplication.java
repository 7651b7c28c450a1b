// A host application a session talks to. The host link calls it on its own
// host thread, one call at a time, with the screen lock held: it paints the
// presentation space directly and must not block.
package com.ombrel.eQintra.emulator;

public interface HostApplication {

    /** Paints the first screen when the session connects. */
    void connected(PresentationSpace screen);

    /** Answers an attention key by updating the screen. */
    void receive(InboundMessage message, PresentationSpace screen);

    /** The session disconnected; the next connect starts afresh. */
    default void disconnected() {
    }
}
