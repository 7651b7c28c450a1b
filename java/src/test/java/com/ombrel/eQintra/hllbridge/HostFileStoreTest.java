package com.ombrel.eQintra.hllbridge;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

class HostFileStoreTest {

    @TempDir
    Path work;

    private static byte[] latin1(String text) {
        return text.getBytes(StandardCharsets.ISO_8859_1);
    }

    @Test
    void aTextFileComesBackAsItWentOut() throws Exception {
        HostFileStore store = new HostFileStore(work.resolve("host"));
        Path sent = work.resolve("report.txt");
        byte[] original = latin1("LINE ONE\r\nLINE TWO\r\n\r\nLAST\r\n");
        Files.write(sent, original);
        // The caller's side upper-cases names: the file is found all the same.
        assertEquals(0, store.transfer(work.resolve("REPORT.TXT").toString(), "REPORT TEXT A1", "(ASCII CRLF", true));
        assertArrayEquals(latin1("LINE ONE\nLINE TWO\n\nLAST\n"), Files.readAllBytes(work.resolve("host/REPORT.TEXT.A1")));

        Path received = work.resolve("back.txt");
        Files.writeString(received, "OLD CONTENT THAT IS LONGER THAN THE NEW");
        assertEquals(0, store.transfer(received.toString().toUpperCase(java.util.Locale.ROOT), "report text a1",
                "ASCII CRLF", false));
        assertArrayEquals(original, Files.readAllBytes(received));

        assertEquals(0, store.transfer(received.toString(), "REPORT TEXT A1", "(ASCII CRLF APPEND", false));
        assertEquals(2 * original.length, Files.readAllBytes(received).length);
    }

    @Test
    void failuresAnswerTransferCodes() throws Exception {
        HostFileStore store = new HostFileStore(work.resolve("host"));
        assertEquals(27, store.transfer(work.resolve("missing.txt").toString(), "A B C", "", true));
        assertEquals(27, store.transfer(work.resolve("x.txt").toString(), "NOT THERE A1", "", false));
        Files.write(work.resolve("pc.txt"), latin1("X"));
        assertEquals(2, store.transfer(work.resolve("pc.txt").toString(), "A B C", "(TURBO", true));
        assertEquals(2, store.transfer(work.resolve("pc.txt").toString(), "../ESCAPE B C", "", true));
    }
}
