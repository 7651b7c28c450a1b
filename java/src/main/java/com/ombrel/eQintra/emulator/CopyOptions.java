// How presentation-space text is rendered for a copy: whether field
// attribute positions show their attribute byte or a blank, whether the
// contents of non-display fields are revealed or blanked, and whether each
// character is followed by its extended attribute byte.
package com.ombrel.eQintra.emulator;

public record CopyOptions(boolean attributeBytes, boolean revealNonDisplay, boolean extendedAttributes) {

    /** Plain screen text: attributes and hidden fields as blanks, no extended attributes. */
    public static final CopyOptions SCREEN_TEXT = new CopyOptions(false, false, false);

    // Every combination, made once: copies are asked for on every screen read.
    private static final CopyOptions[] ALL = new CopyOptions[8];

    static {
        for (int i = 0; i < ALL.length; i++) {
            ALL[i] = new CopyOptions((i & 4) != 0, (i & 2) != 0, (i & 1) != 0);
        }
    }

    /** The options with these values, shared rather than made anew. */
    public static CopyOptions of(boolean attributeBytes, boolean revealNonDisplay, boolean extendedAttributes) {
        return ALL[(attributeBytes ? 4 : 0) | (revealNonDisplay ? 2 : 0) | (extendedAttributes ? 1 : 0)];
    }
}
