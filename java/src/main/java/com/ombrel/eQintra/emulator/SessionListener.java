// Observers of a session. The bridge to the automation interfaces registers
// one per session and forwards these events to its callers. Methods run on
// the thread that caused the event (an automation caller, the operator or
// the host thread) with no emulator lock held, and must return quickly.
// Screen, OIA and input-inhibit events are delivered in order, one at a time
// per session.
package com.ombrel.eQintra.emulator;

public interface SessionListener {

    /** Characters or fields of the presentation space changed. */
    default void presentationSpaceUpdated(Session session) {
    }

    /** The OIA image changed. */
    default void oiaUpdated(Session session, boolean inputInhibited) {
    }

    /** Input became inhibited or was released. */
    default void inputInhibitedChanged(Session session, boolean inputInhibited) {
    }

    /** Someone tries to close the session. Answer true to intercept: the session then stays open. */
    default boolean closeRequested(Session session) {
        return false;
    }

    /**
     * The operator pressed a key; the key text is a mnemonic such as
     * "[enter]" or the character itself. Answer true to take the key: it is
     * then not applied.
     */
    default boolean keystroke(Session session, String keyText) {
        return false;
    }

    /** The session has ended. */
    default void sessionClosed(Session session) {
    }
}
