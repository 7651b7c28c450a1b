// Renders a session's screen as text: the rows framed by a border, the
// status line under them, and the cursor position.
package com.ombrel.eQintra.emulator;

public final class ScreenDump {

    private ScreenDump() {
    }

    public static String render(Session session) {
        PresentationSpace screen = session.screen();
        String border = "+" + "-".repeat(screen.columns()) + "+";
        StringBuilder out = new StringBuilder();
        synchronized (screen) {
            out.append("Session ").append(session.shortName()).append(" - ").append(session.profile().title())
                    .append(session.isConnected() ? " (connected)" : " (not connected)").append('\n');
            out.append(border).append('\n');
            for (int row = 1; row <= screen.rows(); row++) {
                out.append('|').append(screen.rowText(row)).append("|\n");
            }
            out.append(border).append('\n');
            out.append(' ').append(session.oia().statusText().stripTrailing());
            out.append("   cursor ").append(screen.rowOf(screen.cursor())).append('/')
                    .append(screen.columnOf(screen.cursor())).append('\n');
        }
        return out.toString();
    }
}
