// What an attention key hands to the host: the AID, the cursor position and
// the modified fields with their text (nulls left out). Short-read keys
// carry no fields.
package com.ombrel.eQintra.emulator;

import java.util.List;
import java.util.Optional;

public record InboundMessage(Aid aid, int cursor, List<FieldInput> fields) {

    /** One modified field: the position of its first character and its text. */
    public record FieldInput(int start, String text) {
    }

    public InboundMessage {
        fields = List.copyOf(fields);
    }

    /** The text sent for the field starting at a position, if it was modified. */
    public Optional<String> textAt(int start) {
        return fields.stream().filter(field -> field.start() == start).map(FieldInput::text).findFirst();
    }
}
