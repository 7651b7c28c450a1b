// File transfer against the demonstration host's file store: a directory in
// which each host file is one file, named by the host file's words joined
// with dots ("FN FT A1" is FN.FT.A1). Text transfers only: this host keeps
// its records in the emulator's own character set, so ASCII changes no byte;
// CRLF turns the personal computer's CRLF line ends into the host's record
// ends (LF) on sending and back on receiving; APPEND adds to the target
// instead of replacing it.
//
// The codes answered are the emulator's transfer codes, before the library
// turns 0 into 3 ("transfer complete"): 2 for an option or name this host
// does not know, 27 when the source file does not exist, 9 when a file
// cannot be read or written.
package com.ombrel.eQintra.hllbridge;

import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.util.Locale;
import java.util.Set;

final class HostFileStore {

    static final int RC_OK = 0;
    static final int RC_PARAMETER_ERROR = 2;
    static final int RC_SYSTEM_ERROR = 9;
    static final int RC_NO_SOURCE = 27;

    private static final Set<String> KNOWN_OPTIONS = Set.of("ASCII", "CRLF", "APPEND", "BINARY", "NOCRLF");

    private final Path directory;

    HostFileStore(Path directory) {
        this.directory = directory;
    }

    Path directory() {
        return directory;
    }

    /** One transfer; {@code send} from the personal computer to the host. */
    int transfer(String pcFile, String hostFile, String options, boolean send) {
        String[] words = options.toUpperCase(Locale.ROOT).split("[\\s(),]+");
        boolean crlf = false;
        boolean append = false;
        for (String word : words) {
            if (word.isEmpty()) {
                continue;
            }
            if (!KNOWN_OPTIONS.contains(word)) {
                return RC_PARAMETER_ERROR;
            }
            crlf |= word.equals("CRLF");
            append |= word.equals("APPEND");
        }
        String hostName = String.join(".", hostFile.trim().split("\\s+"));
        if (hostName.isEmpty() || hostName.contains("/") || hostName.contains("\\") || hostName.startsWith(".")) {
            return RC_PARAMETER_ERROR;
        }
        try {
            Path pc = existing(Path.of(pcFile));
            Path host = existing(directory.resolve(hostName));
            Path source = send ? pc : host;
            Path target = send ? host : pc;
            if (!Files.isRegularFile(source)) {
                return RC_NO_SOURCE;
            }
            byte[] bytes = Files.readAllBytes(source);
            if (crlf) {
                bytes = send ? toRecords(bytes) : toCrlf(bytes);
            }
            Files.createDirectories(directory);
            try (OutputStream out = Files.newOutputStream(target, StandardOpenOption.CREATE, StandardOpenOption.WRITE,
                    append ? StandardOpenOption.APPEND : StandardOpenOption.TRUNCATE_EXISTING)) {
                out.write(bytes);
            }
            return RC_OK;
        } catch (InvalidPathException e) {
            return RC_PARAMETER_ERROR;
        } catch (IOException e) {
            return RC_SYSTEM_ERROR;
        }
    }

    /**
     * The caller's side hands names over in upper case: each part of the
     * path that does not exist as written is the entry of its directory
     * with the same name in another case, when there is one. The rest of a
     * path that leads nowhere is kept as written.
     */
    static Path existing(Path path) throws IOException {
        if (Files.exists(path)) {
            return path;
        }
        Path absolute = path.toAbsolutePath().normalize();
        Path resolved = absolute.getRoot();
        if (resolved == null) {
            return path;
        }
        int count = absolute.getNameCount();
        for (int i = 0; i < count; i++) {
            Path name = absolute.getName(i);
            Path exact = resolved.resolve(name);
            Path match = Files.exists(exact) ? exact : sameNameIgnoringCase(resolved, name.toString());
            if (match == null) {
                return resolved.resolve(absolute.subpath(i, count));
            }
            resolved = match;
        }
        return resolved;
    }

    private static Path sameNameIgnoringCase(Path directory, String name) throws IOException {
        if (!Files.isDirectory(directory)) {
            return null;
        }
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(directory)) {
            for (Path entry : entries) {
                if (entry.getFileName().toString().equalsIgnoreCase(name)) {
                    return entry;
                }
            }
        }
        return null;
    }

    /** CRLF line ends become LF record ends. */
    static byte[] toRecords(byte[] bytes) {
        String text = new String(bytes, StandardCharsets.ISO_8859_1);
        return text.replace("\r\n", "\n").getBytes(StandardCharsets.ISO_8859_1);
    }

    /** LF record ends become CRLF line ends. */
    static byte[] toCrlf(byte[] bytes) {
        String text = new String(bytes, StandardCharsets.ISO_8859_1);
        return text.replace("\n", "\r\n").getBytes(StandardCharsets.ISO_8859_1);
    }
}
