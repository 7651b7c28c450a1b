package com.ombrel.eQintra.emulator;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.util.List;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

class PresentationSpaceTest {

    /**
     * A 24x80 screen:
     *   row 1  col 2   protected label "NAME"           (attribute at 1)
     *   row 1  col 10  unprotected, 8 long              (attribute at 9, closed at 18)
     *   row 2  col 10  unprotected numeric, 4 long      (attribute at 89, closed at 94)
     *   row 3  col 10  unprotected non-display, 6 long  (attribute at 169, closed at 176)
     * The skip attribute at 176 runs to the end of the screen.
     */
    static PresentationSpace sampleScreen() {
        PresentationSpace screen = new PresentationSpace(TerminalModel.MODEL_2);
        screen.defineField(1, FieldAttribute.PROTECTED_TEXT);
        screen.write(2, "NAME");
        screen.defineField(9, FieldAttribute.UNPROTECTED);
        screen.defineField(18, FieldAttribute.SKIP);
        screen.defineField(89, FieldAttribute.UNPROTECTED.numeric());
        screen.defineField(94, FieldAttribute.SKIP);
        screen.defineField(169, FieldAttribute.UNPROTECTED.nonDisplay());
        screen.defineField(176, FieldAttribute.SKIP);
        return screen;
    }

    @Nested
    class Geometry {
        @ParameterizedTest
        @CsvSource({"2, 24, 80", "3, 32, 80", "4, 43, 80", "5, 27, 132"})
        void modelsGiveTheirSizeAndConvertPositionsBothWays(int number, int rows, int columns) {
            PresentationSpace screen = new PresentationSpace(TerminalModel.ofNumber(number));
            assertEquals(rows, screen.rows());
            assertEquals(columns, screen.columns());
            assertEquals(rows * columns, screen.size());
            assertEquals(1, screen.position(1, 1));
            assertEquals(columns + 1, screen.position(2, 1));
            assertEquals(rows * columns, screen.position(rows, columns));
            for (int position : new int[] {1, columns, columns + 1, rows * columns}) {
                assertEquals(position, screen.position(screen.rowOf(position), screen.columnOf(position)));
            }
            assertEquals(-1, screen.position(rows + 1, 1));
            assertEquals(-1, screen.position(1, columns + 1));
            assertEquals(-1, screen.position(0, 1));
            assertThrows(IllegalArgumentException.class, () -> screen.rowOf(rows * columns + 1));
            assertThrows(IllegalArgumentException.class, () -> screen.columnOf(0));
        }

        @Test
        void unknownModelNumberIsRefused() {
            assertThrows(IllegalArgumentException.class, () -> TerminalModel.ofNumber(6));
        }
    }

    @Nested
    class FieldLookup {
        private final PresentationSpace screen = sampleScreen();

        @Test
        void positionsBelongToTheFieldOfTheNearestAttributeBefore() {
            Field input = screen.fieldAt(12).orElseThrow();
            assertEquals(9, input.attributePosition());
            assertEquals(10, input.start());
            assertEquals(8, input.length());
            assertEquals(17, input.end());
            assertFalse(input.isProtected());
            // The attribute position belongs to the field it starts.
            assertEquals(9, screen.fieldAt(9).orElseThrow().attributePosition());
            assertEquals(1, screen.fieldAt(5).orElseThrow().attributePosition());
        }

        @Test
        void lastFieldWrapsToTheTopOfTheScreen() {
            Field skip = screen.fieldAt(1920).orElseThrow();
            assertEquals(176, skip.attributePosition());
            assertEquals(1920 - 176, skip.length());
            assertTrue(skip.contains(1920));
            assertFalse(skip.contains(1));

            PresentationSpace wrapped = new PresentationSpace(TerminalModel.MODEL_2);
            wrapped.defineField(1915, FieldAttribute.UNPROTECTED);
            wrapped.defineField(10, FieldAttribute.PROTECTED_TEXT);
            Field field = wrapped.fieldAt(3).orElseThrow();
            assertEquals(1915, field.attributePosition());
            assertEquals(5 + 9, field.length());
            assertEquals(9, field.end());
            assertEquals(1, field.positionAt(5));
        }

        @Test
        void unformattedScreenHasNoFields() {
            PresentationSpace blank = new PresentationSpace(TerminalModel.MODEL_2);
            assertFalse(blank.isFormatted());
            assertTrue(blank.fieldAt(100).isEmpty());
            assertTrue(blank.findField(FieldSelector.NEXT, 100).isEmpty());
            assertTrue(blank.nextInputPosition(1).isEmpty());
        }

        @Test
        void selectorsFindNeighbouringFieldsAndWrap() {
            assertEquals(9, screen.findField(FieldSelector.parse("  ").orElseThrow(), 12).orElseThrow()
                    .attributePosition());
            assertEquals(18, screen.findField(FieldSelector.NEXT, 12).orElseThrow().attributePosition());
            assertEquals(89, screen.findField(FieldSelector.NEXT_UNPROTECTED, 12).orElseThrow()
                    .attributePosition());
            assertEquals(1, screen.findField(FieldSelector.PREVIOUS, 12).orElseThrow().attributePosition());
            // From the first field, the previous unprotected one is found by wrapping past the end.
            assertEquals(169, screen.findField(FieldSelector.PREVIOUS_UNPROTECTED, 3).orElseThrow()
                    .attributePosition());
            assertEquals(176, screen.findField(FieldSelector.PREVIOUS_PROTECTED, 3).orElseThrow()
                    .attributePosition());
            assertEquals(1, screen.findField(FieldSelector.NEXT_PROTECTED, 1000).orElseThrow()
                    .attributePosition());
        }

        @Test
        void selectorCodesParseWithoutRegardToCase() {
            assertEquals(FieldSelector.NEXT_UNPROTECTED, FieldSelector.parse("nu").orElseThrow());
            assertEquals(FieldSelector.THIS, FieldSelector.parse("T ").orElseThrow());
            assertEquals(FieldSelector.PREVIOUS, FieldSelector.parse("P").orElseThrow());
            assertTrue(FieldSelector.parse("XX").isEmpty());
        }

        @Test
        void inputPositionsStepThroughUnprotectedFieldsAndWrap() {
            assertEquals(10, screen.firstInputPosition().orElseThrow());
            assertEquals(90, screen.nextInputPosition(10).orElseThrow());
            assertEquals(170, screen.nextInputPosition(95).orElseThrow());
            assertEquals(10, screen.nextInputPosition(170).orElseThrow());
            assertEquals(90, screen.previousInputPosition(170).orElseThrow());
            assertEquals(170, screen.previousInputPosition(10).orElseThrow());
            assertEquals(List.of(9, 89, 169),
                    screen.unprotectedFields().stream().map(Field::attributePosition).toList());
        }
    }

    @Nested
    class Input {
        private final PresentationSpace screen = sampleScreen();

        @Test
        void fieldWriteFillsTheFieldAndSetsItsModifiedTag() {
            assertEquals(ResultCode.OK, screen.writeField(9, "SMITH"));
            Field field = screen.fieldAt(10).orElseThrow();
            assertEquals("SMITH   ", screen.fieldText(field, false));
            assertEquals("SMITH", screen.fieldInput(field));
            assertTrue(field.attribute().isModified());
            assertEquals(List.of(9), screen.modifiedFields().stream().map(Field::attributePosition).toList());
        }

        @Test
        void fieldWriteStartsAtTheGivenPositionAndCutsAtTheFieldEnd() {
            assertEquals(ResultCode.TRUNCATED, screen.writeField(15, "ABCDE"));
            assertEquals("     ABC", screen.fieldText(screen.fieldAt(10).orElseThrow(), false));
            assertTrue(screen.isAttributePosition(18));
        }

        @Test
        void protectedAndNumericFieldsRefuseTheWholeWrite() {
            assertEquals(ResultCode.INHIBITED, screen.writeField(3, "X"));
            assertEquals("NAME", screen.text(2, 4));
            assertEquals(ResultCode.INHIBITED, screen.writeField(90, "12A4"));
            assertEquals("    ", screen.text(90, 4));
            assertTrue(screen.modifiedFields().isEmpty());
            assertEquals(ResultCode.OK, screen.writeField(90, "-1.5"));
            assertEquals(ResultCode.NOT_FOUND, new PresentationSpace(TerminalModel.MODEL_2).writeField(5, "A"));
            assertEquals(ResultCode.INVALID_POSITION, screen.writeField(1921, "A"));
        }

        @Test
        void stringWriteRefusesToRunOverAnAttribute() {
            assertEquals(ResultCode.INHIBITED, screen.writeInput(15, "ABCDEF"));
            assertEquals("   ", screen.text(15, 3));
            assertEquals(ResultCode.OK, screen.writeInput(15, "ABC"));
            PresentationSpace blank = new PresentationSpace(TerminalModel.MODEL_2);
            assertEquals(ResultCode.TRUNCATED, blank.writeInput(1919, "XYZ"));
            assertEquals("XY", blank.text(1919, 2));
        }

        @Test
        void eraseInputClearsOnlyUnprotectedFields() {
            screen.writeField(10, "JONES");
            screen.writeField(90, "42");
            screen.eraseUnprotected();
            assertEquals("        ", screen.text(10, 8));
            assertEquals("NAME", screen.text(2, 4));
            assertTrue(screen.modifiedFields().isEmpty());
        }
    }

    @Nested
    class Reading {
        private final PresentationSpace screen = sampleScreen();

        @Test
        void nonDisplayFieldsReadAsBlanksUnlessRevealed() {
            screen.writeField(170, "SECRET");
            Field hidden = screen.fieldAt(170).orElseThrow();
            assertEquals("      ", screen.fieldText(hidden, false));
            assertEquals("SECRET", screen.fieldText(hidden, true));
            assertEquals("      ", screen.text(170, 6));
            assertEquals("SECRET", new String(screen.copy(170, 6, new CopyOptions(false, true, false)),
                    StandardCharsets.ISO_8859_1));
            assertEquals(0, screen.search("SECRET", 1, false));
        }

        @Test
        void copyShowsAttributesAsBlanksOrTheirByteAndInterleavesExtendedAttributes() {
            assertArrayEquals(" NAME".getBytes(StandardCharsets.ISO_8859_1),
                    screen.copy(1, 5, CopyOptions.SCREEN_TEXT));
            byte[] withAttributes = screen.copy(1, 5, new CopyOptions(true, false, false));
            assertEquals((byte) 0xE0, withAttributes[0]);
            screen.setExtendedAttribute(2, 2, 0xF2);
            byte[] extended = screen.copy(2, 3, new CopyOptions(false, false, true));
            assertArrayEquals(new byte[] {'N', (byte) 0xF2, 'A', (byte) 0xF2, 'M', 0}, extended);
            assertEquals(1920, screen.copy(1, 5000, CopyOptions.SCREEN_TEXT).length);
        }

        @Test
        void searchFindsForwardFromAndBackwardUpToAPosition() {
            screen.write(300, "ABC");
            screen.write(600, "ABC");
            assertEquals(300, screen.search("ABC", 1, false));
            assertEquals(600, screen.search("ABC", 301, false));
            assertEquals(300, screen.search("ABC", 599, true));
            assertEquals(600, screen.search("ABC", 1920, true));
            assertEquals(0, screen.search("ABC", 601, false));
        }

        @Test
        void fieldSearchStaysInsideTheField() {
            screen.writeField(10, "ABXAB");
            assertEquals(10, screen.searchField("AB", 12, false, true));
            assertEquals(13, screen.searchField("AB", 12, false, false));
            assertEquals(10, screen.searchField("AB", 12, true, false));
            assertEquals(0, screen.searchField("NAME", 12, false, true));
            assertEquals(2, screen.searchField("NAME", 4, false, true));
        }
    }

    /** Full-screen copies are kept until the screen changes; these check that no change is missed. */
    @Nested
    class KeptCopies {
        private final PresentationSpace screen = sampleScreen();
        private final CopyOptions attributeBytes = CopyOptions.of(true, false, false);
        private final CopyOptions extended = CopyOptions.of(false, false, true);

        private byte[] full(CopyOptions options) {
            return screen.copy(1, screen.size(), options);
        }

        private char fullAt(CopyOptions options, int position) {
            return (char) (full(options)[position - 1] & 0xFF);
        }

        @Test
        void everyKindOfChangeShowsInTheNextFullCopy() {
            full(CopyOptions.SCREEN_TEXT);
            screen.write(300, "ABC");
            assertEquals('B', fullAt(CopyOptions.SCREEN_TEXT, 301));
            screen.putInput(10, 'X');
            assertEquals('X', fullAt(CopyOptions.SCREEN_TEXT, 10));
            screen.writeField(90, "42");
            assertEquals('2', fullAt(CopyOptions.SCREEN_TEXT, 91));
            screen.defineField(301, FieldAttribute.PROTECTED_TEXT);
            assertEquals(' ', fullAt(CopyOptions.SCREEN_TEXT, 301));
            screen.eraseUnprotected();
            assertEquals(' ', fullAt(CopyOptions.SCREEN_TEXT, 10));

            assertEquals(0xD0, fullAt(attributeBytes, 89));
            screen.setModified(screen.fieldAt(90).orElseThrow(), true);
            assertEquals(0xD1, fullAt(attributeBytes, 89));
            screen.resetModifiedTags();
            assertEquals(0xD0, fullAt(attributeBytes, 89));

            assertEquals(0, full(extended)[2 * 2 - 1]);
            screen.setExtendedAttribute(2, 1, 0xF2);
            assertEquals((byte) 0xF2, full(extended)[2 * 2 - 1]);

            screen.eraseAll();
            assertEquals(" ".repeat(screen.size()), new String(full(CopyOptions.SCREEN_TEXT),
                    StandardCharsets.ISO_8859_1));
        }

        @Test
        void optionsOfTheKeptCopyMustMatch() {
            assertEquals(' ', fullAt(CopyOptions.SCREEN_TEXT, 1));
            assertEquals(0xE0, fullAt(attributeBytes, 1));
            assertEquals(2 * screen.size(), full(extended).length);
            assertEquals(' ', fullAt(CopyOptions.SCREEN_TEXT, 1));
        }

        @Test
        void partsServedFromAKeptCopyMatchPartsRenderedDirectly() {
            screen.writeField(170, "SECRET");
            screen.setExtendedAttribute(2, 4, 0xF1);
            PresentationSpace direct = sampleScreen();
            direct.writeField(170, "SECRET");
            direct.setExtendedAttribute(2, 4, 0xF1);
            int[][] runs = {{1, 5}, {9, 10}, {165, 20}, {172, 2}, {1911, 100}};
            for (int i = 0; i < 8; i++) {
                CopyOptions options = CopyOptions.of((i & 4) != 0, (i & 2) != 0, (i & 1) != 0);
                full(options);
                for (int[] run : runs) {
                    // Only parts are taken from `direct`, so it never keeps a copy.
                    assertArrayEquals(direct.copy(run[0], run[1], options), screen.copy(run[0], run[1], options),
                            options + " from " + run[0] + " for " + run[1]);
                }
            }
        }

        @Test
        void aCopyBelongsToItsCallerAndStopsWhereItsBufferIsFull() {
            byte[] first = full(CopyOptions.SCREEN_TEXT);
            first[1] = 'X';
            assertEquals('N', fullAt(CopyOptions.SCREEN_TEXT, 2));

            byte[] small = new byte[7];
            assertEquals(6, screen.copy(1, screen.size(), extended, small));
            assertArrayEquals(new byte[] {' ', 0, 'N', 0, 'A', 0, 0}, small);
            assertEquals(5, screen.copy(1, 5, CopyOptions.SCREEN_TEXT, new byte[100]));
            assertEquals(10, screen.copy(1911, 100, CopyOptions.SCREEN_TEXT, new byte[100]));
        }
    }
}
