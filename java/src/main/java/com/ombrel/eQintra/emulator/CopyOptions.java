// How presentation-space text is rendered for a copy: whether field
// attribute positions show their attribute byte or a blank, whether the
// contents of non-display fields are revealed or blanked, and whether each
// character is followed by its extended attribute byte.
package com.ombrel.eQintra.emulator;

public record CopyOptions(boolean attributeBytes, boolean revealNonDisplay, boolean extendedAttributes) {

    /** Plain screen text: attributes and hidden fields as blanks, no extended attributes. */
    public static final CopyOptions SCREEN_TEXT = new CopyOptions(false, false, false);
}
