// The workstation's profile directory: the ".prf" files sessions are
// started from. A profile is named by its file name without the extension,
// or by a path to a file.
package com.ombrel.eQintra.emulator;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.stream.Stream;

public final class ProfileDirectory {

    private final Path directory;

    public ProfileDirectory(Path directory) {
        this.directory = directory;
    }

    public Path directory() {
        return directory;
    }

    /** The profile names in the directory, sorted; empty when the directory does not exist. */
    public List<String> names() throws IOException {
        if (!Files.isDirectory(directory)) {
            return List.of();
        }
        try (Stream<Path> files = Files.list(directory)) {
            return files.map(file -> file.getFileName().toString())
                    .filter(name -> name.endsWith(Profile.EXTENSION))
                    .map(name -> name.substring(0, name.length() - Profile.EXTENSION.length()))
                    .sorted()
                    .toList();
        }
    }

    /** Where a profile name or path leads: a path ending in ".prf" as given, else the directory's file. */
    public Path resolve(String nameOrPath) {
        if (nameOrPath.endsWith(Profile.EXTENSION)) {
            Path given = Path.of(nameOrPath);
            return given.isAbsolute() || Files.exists(given) ? given : directory.resolve(given);
        }
        return directory.resolve(nameOrPath + Profile.EXTENSION);
    }

    /**
     * Loads a profile by name or path.
     *
     * @throws java.nio.file.NoSuchFileException when there is no such file
     * @throws Profile.InvalidProfileException when the file's content is bad
     */
    public Profile load(String nameOrPath) throws IOException {
        return Profile.load(resolve(nameOrPath));
    }
}
