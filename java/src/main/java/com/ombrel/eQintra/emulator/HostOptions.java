// How the demonstration host behaves beyond answering keys, as a profile
// chooses it. Every behaviour is off by default, so that a profile without
// these keys gets the plain host: one write per answer after a fixed delay,
// nothing unsolicited, one screen size.
package com.ombrel.eQintra.emulator;

import java.time.Duration;

/**
 * @param delayJitter    up to this much is added to the host delay of each answer, drawn at random
 * @param answerParts    each answer is painted in this many writes (1 to 3); the keyboard is released after the last
 * @param clockInterval  the main menu shows a clock line that the host rewrites this often; zero for none
 * @param broadcastAfter a broadcast message arrives unsolicited this long after sign-on; zero for none
 * @param wideScreen     the menu offers a 27x132 screen (option 3), which also holds characters outside Latin-1
 * @param payments       the menu offers payment posting (option 4): a signed amount field; a negative
 *                       amount is refused with the keyboard locked until Reset
 */
public record HostOptions(Duration delayJitter, int answerParts, Duration clockInterval, Duration broadcastAfter,
                          boolean wideScreen, boolean payments) {

    public static final HostOptions PLAIN = new HostOptions(Duration.ZERO, 1, Duration.ZERO, Duration.ZERO,
            false, false);
    public static final int MAX_ANSWER_PARTS = 3;

    public HostOptions {
        if (answerParts < 1 || answerParts > MAX_ANSWER_PARTS) {
            throw new IllegalArgumentException("answerParts must be 1 to " + MAX_ANSWER_PARTS);
        }
    }

    public HostOptions withDelayJitter(Duration value) {
        return new HostOptions(value, answerParts, clockInterval, broadcastAfter, wideScreen, payments);
    }

    public HostOptions withAnswerParts(int value) {
        return new HostOptions(delayJitter, value, clockInterval, broadcastAfter, wideScreen, payments);
    }

    public HostOptions withClockInterval(Duration value) {
        return new HostOptions(delayJitter, answerParts, value, broadcastAfter, wideScreen, payments);
    }

    public HostOptions withBroadcastAfter(Duration value) {
        return new HostOptions(delayJitter, answerParts, clockInterval, value, wideScreen, payments);
    }

    public HostOptions withWideScreen(boolean value) {
        return new HostOptions(delayJitter, answerParts, clockInterval, broadcastAfter, value, payments);
    }

    public HostOptions withPayments(boolean value) {
        return new HostOptions(delayJitter, answerParts, clockInterval, broadcastAfter, wideScreen, value);
    }
}
