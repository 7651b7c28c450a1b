// The two-character codes by which the automation interfaces name a field
// relative to a position: "T " (or two blanks) the field containing it,
// "N " / "P " the next or previous field, and "NP", "NU", "PP", "PU" the
// next or previous protected or unprotected field.
package com.ombrel.eQintra.emulator;

import java.util.Locale;
import java.util.Optional;

public enum FieldSelector {
    THIS(0, null),
    NEXT(1, null),
    PREVIOUS(-1, null),
    NEXT_PROTECTED(1, true),
    NEXT_UNPROTECTED(1, false),
    PREVIOUS_PROTECTED(-1, true),
    PREVIOUS_UNPROTECTED(-1, false);

    private final int direction;
    private final Boolean wantProtected;

    FieldSelector(int direction, Boolean wantProtected) {
        this.direction = direction;
        this.wantProtected = wantProtected;
    }

    /** -1 backwards, 0 the field itself, 1 forwards. */
    public int direction() {
        return direction;
    }

    /** Whether a candidate field qualifies: any field when the code names no protection. */
    public boolean accepts(FieldAttribute attribute) {
        return wantProtected == null || wantProtected == attribute.isProtected();
    }

    /** Parses a code; empty for anything the interfaces do not define. Case is ignored. */
    public static Optional<FieldSelector> parse(String code) {
        if (code == null) {
            return Optional.empty();
        }
        String padded = (code + "  ").substring(0, 2).toUpperCase(Locale.ROOT);
        return Optional.ofNullable(switch (padded) {
            case "  ", "T " -> THIS;
            case "N " -> NEXT;
            case "P " -> PREVIOUS;
            case "NP" -> NEXT_PROTECTED;
            case "NU" -> NEXT_UNPROTECTED;
            case "PP" -> PREVIOUS_PROTECTED;
            case "PU" -> PREVIOUS_UNPROTECTED;
            default -> null;
        });
    }
}
