// Display station models a session can emulate. The model fixes the size of
// the presentation space for the life of the session.
package com.ombrel.eQintra.emulator;

public enum TerminalModel {
    MODEL_2(2, 24, 80),
    MODEL_3(3, 32, 80),
    MODEL_4(4, 43, 80),
    MODEL_5(5, 27, 132);

    private final int number;
    private final int rows;
    private final int columns;

    TerminalModel(int number, int rows, int columns) {
        this.number = number;
        this.rows = rows;
        this.columns = columns;
    }

    /** The model number as written in profiles ("model=2"). */
    public int number() {
        return number;
    }

    public int rows() {
        return rows;
    }

    public int columns() {
        return columns;
    }

    public int size() {
        return rows * columns;
    }

    /** @throws IllegalArgumentException for a number other than 2 to 5 */
    public static TerminalModel ofNumber(int number) {
        for (TerminalModel model : values()) {
            if (model.number == number) {
                return model;
            }
        }
        throw new IllegalArgumentException("no terminal model " + number + " (2 to 5 are supported)");
    }
}
