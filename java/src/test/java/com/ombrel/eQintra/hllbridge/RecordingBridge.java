package com.ombrel.eQintra.hllbridge;

import com.ombrel.eQintra.emulator.Session;
import java.util.Arrays;
import java.util.List;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.function.Predicate;

/** An HLLBridge whose natives are replaced by a record of what would have gone to the library. */
class RecordingBridge extends HLLBridge {

    /** Event names in order: "register", "unregister", "ps", "oia true", "released", "close", "key [enter]". */
    final List<String> events = new CopyOnWriteArrayList<>();
    final List<byte[]> replies = new CopyOnWriteArrayList<>();
    volatile char freeLetter;
    volatile Predicate<String> keystrokeTaken = key -> true;
    /** The identity of the caller whose requests the test makes. */
    volatile String caller = "APPL_BLOCK_0000000100000001/00000001";
    /** The identities the library would answer have ended. */
    final Set<String> endedCallers = ConcurrentHashMap.newKeySet();

    RecordingBridge(Session session) {
        super(session);
        freeLetter = session.shortName();
    }

    byte[] lastReply() {
        return replies.isEmpty() ? null : replies.get(replies.size() - 1);
    }

    long count(String event) {
        return events.stream().filter(event::equals).count();
    }

    @Override
    char availableLetter() {
        return freeLetter;
    }

    @Override
    void registerNative() {
        events.add("register");
    }

    @Override
    void unregisterNative() {
        events.add("unregister");
    }

    @Override
    void reply(byte[] data, int length) {
        replies.add(Arrays.copyOf(data, length));
    }

    @Override
    void replyUnicode(byte[] data, int count) {
        events.add("unicode " + count);
        replies.add(data.clone());
    }

    @Override
    void notifyPresentationSpace() {
        events.add("ps");
    }

    @Override
    void notifyOia(boolean inputInhibited) {
        events.add("oia " + inputInhibited);
    }

    @Override
    void notifyInputReleased() {
        events.add("released");
    }

    @Override
    void notifyCloseAttempt() {
        events.add("close");
    }

    @Override
    boolean notifyKeystroke(String keyText) {
        events.add("key " + keyText);
        return keystrokeTaken.test(keyText);
    }

    @Override
    String currentCaller() {
        return caller;
    }

    @Override
    boolean callerEnded(String identity) {
        return endedCallers.contains(identity);
    }
}
