// Outcomes of operations that the automation interfaces expose, with the
// numeric return code each one is reported as.
package com.ombrel.eQintra.emulator;

public enum ResultCode {
    OK(0),
    /** The session is not connected to a host. */
    NOT_CONNECTED(1),
    PARAMETER_ERROR(2),
    /** The host is busy: a request is outstanding. */
    BUSY(4),
    /** Input is inhibited, or the target is protected or refuses the data. */
    INHIBITED(5),
    /** The data did not fit; what fitted was written. */
    TRUNCATED(6),
    INVALID_POSITION(7),
    SYSTEM_ERROR(9),
    /** The string or field was not found, or the presentation space is unformatted. */
    NOT_FOUND(24),
    /** The field was found and has no character positions. */
    ZERO_LENGTH_FIELD(28);

    private final int code;

    ResultCode(int code) {
        this.code = code;
    }

    public int code() {
        return code;
    }
}
