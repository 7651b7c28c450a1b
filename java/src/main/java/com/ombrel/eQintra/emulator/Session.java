// One terminal session: a short name 'A' to 'Z', the profile it was started
// from, its presentation space, OIA and keyboard, and the link to its host.
// Changes reach the session's listeners after the change is complete and no
// emulator lock is held.
package com.ombrel.eQintra.emulator;

import java.time.Duration;
import java.util.List;
import java.util.concurrent.CopyOnWriteArrayList;

public final class Session implements AutoCloseable {

    /** Status word bit: the session is running. */
    public static final int STATUS_STARTED = 0x1;
    /** Status word bit: the session is connected to its host. */
    public static final int STATUS_CONNECTED = 0x2;

    /** How long automation keystrokes with retry wait for the host to release the keyboard. */
    public static final Duration KEYBOARD_WAIT = Duration.ofSeconds(5);

    private final char shortName;
    private final Profile profile;
    private final PresentationSpace screen;
    private final OperatorInformationArea oia;
    private final Keyboard keyboard;
    private final HostLink host;
    private final List<SessionListener> listeners = new CopyOnWriteArrayList<>();

    private final Object publishLock = new Object();
    private long publishedScreenVersion;
    private long publishedOiaVersion;
    private boolean publishedInhibited;
    private volatile boolean closed;

    /**
     * @param application the host, or null for a session without one (it cannot connect)
     * @throws IllegalArgumentException for a short name outside 'A' to 'Z'
     */
    public Session(char shortName, Profile profile, HostApplication application) {
        if (shortName < 'A' || shortName > 'Z') {
            throw new IllegalArgumentException("short name must be A to Z, not '" + shortName + "'");
        }
        this.shortName = shortName;
        this.profile = profile;
        this.screen = new PresentationSpace(profile.model());
        this.oia = new OperatorInformationArea();
        this.host = application == null ? null
                : new HostLink(shortName, application, profile.hostDelay(), profile.hostOptions(), screen, oia,
                        this::publishChanges);
        this.keyboard = new Keyboard(profile.terminal(), screen, oia, this::toHost, this::publishChanges);
        this.keyboard.setInterceptor(this::offerKeystroke);
        this.publishedScreenVersion = screen.version();
        this.publishedOiaVersion = oia.version();
    }

    public char shortName() {
        return shortName;
    }

    public Profile profile() {
        return profile;
    }

    public PresentationSpace screen() {
        return screen;
    }

    public OperatorInformationArea oia() {
        return oia;
    }

    public Keyboard keyboard() {
        return keyboard;
    }

    public boolean hasHost() {
        return host != null;
    }

    public boolean isClosed() {
        return closed;
    }

    public boolean isConnected() {
        return host != null && host.isConnected();
    }

    /** {@link #STATUS_STARTED}, plus {@link #STATUS_CONNECTED} while connected; 0 once closed. */
    public int statusWord() {
        if (closed) {
            return 0;
        }
        return STATUS_STARTED | (isConnected() ? STATUS_CONNECTED : 0);
    }

    public void addListener(SessionListener listener) {
        listeners.add(listener);
    }

    public void removeListener(SessionListener listener) {
        listeners.remove(listener);
    }

    // ---- host connection ------------------------------------------------

    /** Connects to the host; false when there is no host, the session is closed or already connected. */
    public boolean connect() {
        return !closed && host != null && host.connect();
    }

    /** Disconnects from the host; false when not connected. */
    public boolean disconnect() {
        return host != null && host.disconnect();
    }

    // ---- automation operations ------------------------------------------

    /**
     * Sends keystrokes in mnemonic form on behalf of an automation caller.
     * With retry, keys that meet the system wait of an earlier attention key
     * wait up to {@link #KEYBOARD_WAIT} for the host's answer. A stopped
     * session takes no keys: {@link ResultCode#NOT_CONNECTED}.
     */
    public ResultCode sendKeys(String mnemonics, boolean retry) {
        if (closed) {
            return ResultCode.NOT_CONNECTED;
        }
        return keyboard.sendKeys(mnemonics, retry ? KEYBOARD_WAIT : Duration.ZERO);
    }

    /** Keystrokes typed by the operator; listeners may take them. A stopped session takes none. */
    public ResultCode operatorKeys(String mnemonics) {
        if (closed) {
            return ResultCode.NOT_CONNECTED;
        }
        return keyboard.operatorKeys(mnemonics);
    }

    public ResultCode setCursor(int position) {
        if (!screen.isValidPosition(position)) {
            return ResultCode.INVALID_POSITION;
        }
        if (oia.inhibit() == OperatorInformationArea.Inhibit.SYSTEM_WAIT) {
            return ResultCode.BUSY;
        }
        screen.setCursor(position);
        return ResultCode.OK;
    }

    /** Copy String to PS: see {@link PresentationSpace#writeInput}; refused while input is inhibited. */
    public ResultCode copyStringToPresentationSpace(int position, String text) {
        if (closed) {
            return ResultCode.NOT_CONNECTED;
        }
        if (oia.isInputInhibited()) {
            return ResultCode.INHIBITED;
        }
        ResultCode result = screen.writeInput(position, text);
        publishChanges();
        return result;
    }

    /** Copy String to Field: see {@link PresentationSpace#writeField}; refused while input is inhibited. */
    public ResultCode copyStringToField(int position, String text) {
        if (closed) {
            return ResultCode.NOT_CONNECTED;
        }
        if (oia.isInputInhibited()) {
            return ResultCode.INHIBITED;
        }
        ResultCode result = screen.writeField(position, text);
        publishChanges();
        return result;
    }

    /** Reserve: locks the keyboard against the operator while an automation caller works. */
    public void reserve() {
        keyboard.setReserved(true);
    }

    public void release() {
        keyboard.setReserved(false);
    }

    /**
     * Runs a file transfer: the keyboard is inhibited ("X SYSTEM") while it
     * runs and given back afterwards, whatever the transfer answers.
     */
    public int transfer(java.util.function.IntSupplier work) {
        oia.setInhibit(OperatorInformationArea.Inhibit.SYSTEM_WAIT);
        publishChanges();
        try {
            return work.getAsInt();
        } finally {
            oia.setInhibit(OperatorInformationArea.Inhibit.NONE);
            publishChanges();
        }
    }

    /** Blocks until the keyboard is free or the time runs out; answers whether it is free. */
    public boolean awaitInputAllowed(Duration timeout) throws InterruptedException {
        return oia.awaitInputAllowed(timeout);
    }

    // ---- closing --------------------------------------------------------

    /**
     * An attempt to close the session, as by the window's close box. Every
     * listener is asked; when any intercepts, the session stays open and
     * false is answered.
     */
    public boolean requestClose() {
        boolean intercepted = false;
        for (SessionListener listener : listeners) {
            intercepted |= listener.closeRequested(this);
        }
        if (intercepted) {
            return false;
        }
        close();
        return true;
    }

    /** Ends the session unconditionally: disconnects, stops the host thread, tells listeners. */
    @Override
    public void close() {
        synchronized (this) {
            if (closed) {
                return;
            }
            closed = true;
        }
        if (host != null) {
            host.disconnect();
            host.close();
        }
        for (SessionListener listener : listeners) {
            listener.sessionClosed(this);
        }
    }

    // ---- change publication ---------------------------------------------

    /**
     * Tells listeners what changed since the last call. Runs on whichever
     * thread made the change; the publish lock keeps events in order, and
     * no screen or OIA lock is held while listeners run.
     */
    void publishChanges() {
        synchronized (publishLock) {
            long screenVersion = screen.version();
            long oiaVersion = oia.version();
            boolean inhibited = oia.isInputInhibited();
            boolean screenChanged = screenVersion != publishedScreenVersion;
            boolean oiaChanged = oiaVersion != publishedOiaVersion;
            boolean inhibitChanged = inhibited != publishedInhibited;
            publishedScreenVersion = screenVersion;
            publishedOiaVersion = oiaVersion;
            publishedInhibited = inhibited;
            for (SessionListener listener : listeners) {
                if (screenChanged) {
                    listener.presentationSpaceUpdated(this);
                }
                if (oiaChanged) {
                    listener.oiaUpdated(this, inhibited);
                }
                if (inhibitChanged) {
                    listener.inputInhibitedChanged(this, inhibited);
                }
            }
        }
    }

    private void toHost(InboundMessage message) {
        if (host != null) {
            host.submit(message);
        }
    }

    private boolean offerKeystroke(String keyText) {
        boolean taken = false;
        for (SessionListener listener : listeners) {
            taken |= listener.keystroke(this, keyText);
        }
        return taken;
    }

    @Override
    public String toString() {
        return "session " + shortName + " (" + profile.name() + ")";
    }
}
