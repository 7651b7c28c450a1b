// Offers every session of a SessionManager to EHLLAPI callers: a session that
// starts gets an HLLBridge registered with the native library under its
// letter, a session that stops has its bridge unregistered (which releases
// callers still waiting for it). With windows, each bridged session has its
// window on the display from its start to its stop. Thread-safe.
package com.ombrel.eQintra.hllbridge;

import com.ombrel.eQintra.emulator.Session;
import com.ombrel.eQintra.emulator.SessionManager;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;
import java.util.function.Function;

public final class SessionBridges implements SessionManager.Listener {

    private final Function<Session, HLLBridge> factory;
    private final Map<Character, HLLBridge> bridges = new HashMap<>();
    private volatile boolean windows;

    public SessionBridges() {
        this(HLLBridge::new);
    }

    /** Gives the sessions bridged from now on a window on the display each. */
    public void openWindows() {
        windows = true;
    }

    /** With a factory of bridges, for tests that replace the natives. */
    SessionBridges(Function<Session, HLLBridge> factory) {
        this.factory = factory;
    }

    /** Listens to the manager and bridges the sessions it runs already. */
    public void attach(SessionManager manager) {
        manager.addListener(this);
        manager.sessions().forEach(this::sessionStarted);
    }

    @Override
    public void sessionStarted(Session session) {
        HLLBridge bridge = factory.apply(session);
        synchronized (this) {
            if (bridges.containsKey(session.shortName())) {
                return;
            }
            bridges.put(session.shortName(), bridge);
        }
        if (windows) {
            bridge.openWindow();
        }
        if (!bridge.register()) {
            synchronized (this) {
                bridges.remove(session.shortName(), bridge);
            }
            bridge.closeWindow();
        }
    }

    @Override
    public void sessionStopped(Session session) {
        HLLBridge bridge;
        synchronized (this) {
            bridge = bridges.get(session.shortName());
            if (bridge == null || bridge.session() != session) {
                return;
            }
            bridges.remove(session.shortName());
        }
        bridge.unregister();
        bridge.closeWindow();
    }

    public synchronized Optional<HLLBridge> bridge(char shortName) {
        return Optional.ofNullable(bridges.get(shortName));
    }

    /** Unregisters every bridge (the sessions go on running). */
    public void unregisterAll() {
        List<HLLBridge> all;
        synchronized (this) {
            all = List.copyOf(bridges.values());
            bridges.clear();
        }
        all.forEach(HLLBridge::unregister);
        all.forEach(HLLBridge::closeWindow);
    }
}
