// The locator on a temporary folder tree: letter-case variants, separators, the two searches and the
// path helpers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "asset_files.h"
#include "assets/locator.h"
#include "support/temp_dir.h"

namespace {

using assettest::ScopedCwd;

// Reads a stream to the end and closes it.
std::string slurp(FILE* f) {
    std::string s;
    if (f == nullptr) return s;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) s.append(buffer, n);
    fclose(f);
    return s;
}

std::string opened(const char* path) {
    return slurp(file_open(path, "rb"));
}

TEST(Locator, VariantsReachLowerCaseFoldersAndExtensions) {
    vmtest::TempDir dir;
    dir.write("data/tex/wall.jpg", "wall");
    dir.write("DATA/glm/ship.glm", "ship");
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(slurp(fopen_variants("DATA/tex/wall.jpg", "rb")), "wall");  // DATA -> data
    EXPECT_EQ(slurp(fopen_variants("DATA/tex/wall.JPG", "rb")), "wall");  // DATA -> data, then .JPG -> .jpg
    EXPECT_EQ(slurp(fopen_variants("data/glm/ship.GLM", "rb")), "ship");  // data -> DATA, then .GLM -> .glm
    // Capitals in the base name only: the lower-cased base pass.
    EXPECT_EQ(slurp(fopen_variants("data/tex/Wall.JPG", "rb")), "wall");
    // Folder spellings the list does not cover stay unfound.
    EXPECT_EQ(fopen_variants("DATA/TEX/WALL.JPG", "rb"), nullptr);
    EXPECT_EQ(fopen_variants(nullptr, "rb"), nullptr);
}

TEST(Locator, BackslashesAreTurnedAfterTheLowerCasePass) {
    vmtest::TempDir dir;
    dir.write("data/tex/wall.jpg", "wall");
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(slurp(fopen_variants("data\\tex\\Wall.JPG", "rb")), "wall");
    EXPECT_EQ(slurp(fopen_variants("DATA\\tex\\wall.jpg", "rb")),
              "wall");  // slashes, then the rewrites again
    EXPECT_EQ(opened("DATA\\tex\\WALL.jpg"), "wall");
}

TEST(Locator, OnlyTheFirstOccurrenceIsRewritten) {
    vmtest::TempDir dir;
    dir.write("data/x/DATA/first.txt", "first");
    dir.write("data/y/data/both.txt", "both");
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(slurp(fopen_variants("DATA/x/DATA/first.txt", "rb")), "first");
    EXPECT_EQ(fopen_variants("DATA/y/DATA/both.txt", "rb"), nullptr);
}

TEST(Locator, ANameWithoutFolderIsNeverLowerCased) {
    vmtest::TempDir dir;
    dir.write("wall.png", "w");
    dir.write("sub/wall.png", "s");
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(fopen_variants("Wall.png", "rb"), nullptr);
    EXPECT_EQ(slurp(fopen_variants("sub/Wall.png", "rb")), "s");
}

TEST(Locator, FileOpenAndExists) {
    vmtest::TempDir dir;
    dir.write("data/a.txt", "a");
    mkdir((dir / "folder.png").c_str(), 0755);
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(file_exists("DATA/a.txt"), 1);
    EXPECT_EQ(file_exists("data/b.txt"), 0);
    EXPECT_EQ(file_exists(nullptr), 0);
    EXPECT_EQ(file_open("data/a.txt", nullptr), nullptr);
    // A folder is not a file, even though fopen would open it for reading.
    EXPECT_EQ(file_exists("folder.png"), 0);
    // Write modes make no variant attempts: this creates the exact name.
    FILE* f = file_open("DATA/new.txt", "w");
    EXPECT_EQ(f, nullptr);
    f = file_open("new.txt", "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(file_exists("new.txt"), 1);
}

TEST(Locator, FileLoadSizesAndTerminators) {
    vmtest::TempDir dir;
    dir.write("data/three.bin", std::string("a\0c", 3));
    dir.write("data/empty.bin", "");
    ScopedCwd cwd(dir.path());
    size_t size = 99;
    char* b = file_load("DATA\\three.bin\nignored", 1, &size);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(b, 5), std::string("a\0c\0\0", 5));
    free(b);
    EXPECT_EQ(file_load("data/empty.bin", 1), nullptr);
    EXPECT_EQ(file_load("data/missing.bin", 0), nullptr);
    EXPECT_EQ(file_load(nullptr, 0), nullptr);
    // A file larger than any asset is refused before anything is allocated (sparse, so cheap).
    int fd = creat("huge.bin", 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(FILE_LOAD_MAX + 1)), 0);
    close(fd);
    EXPECT_EQ(file_load("huge.bin", 1), nullptr);
}

TEST(Locator, FileLoadLooksAtTheFirst255CharactersOnly) {
    vmtest::TempDir dir;
    std::string name(255, 'n');
    dir.write(name, "short");
    ScopedCwd cwd(dir.path());
    char* b = file_load((name + "tail").c_str(), 1);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b, "short");
    free(b);
}

std::string basename_of(const char* s) {
    std::string a = s;
    std::string b = s;
    std::vector<char> buffer(a.begin(), a.end());
    buffer.push_back('\0');
    path_basename(buffer.data());
    path_basename(b);
    EXPECT_EQ(b, buffer.data()) << s;
    return b;
}

std::string dirname_of(const char* s) {
    std::string b = s;
    std::vector<char> buffer(b.begin(), b.end());
    buffer.push_back('\0');
    path_dirname(buffer.data());
    path_dirname(b);
    EXPECT_EQ(b, buffer.data()) << s;
    return b;
}

TEST(Locator, PathBasenameAndDirname) {
    EXPECT_EQ(basename_of("dir/"), "");
    EXPECT_EQ(basename_of("/x"), "/x");
    EXPECT_EQ(basename_of("/"), "/");
    EXPECT_EQ(basename_of("plain.png"), "plain.png");
    EXPECT_EQ(basename_of("a/b\\c.tga"), "c.tga");
    EXPECT_EQ(basename_of("a\\b/c"), "c");
    EXPECT_EQ(basename_of(""), "");

    EXPECT_EQ(dirname_of("a/b/c"), "a/b/");
    EXPECT_EQ(dirname_of("dir/"), "dir/");
    EXPECT_EQ(dirname_of("a/b/"), "a/");
    EXPECT_EQ(dirname_of("C:x"), "C:");
    EXPECT_EQ(dirname_of("a\\b"), "a\\");
    EXPECT_EQ(dirname_of("/x"), "/");
    EXPECT_EQ(dirname_of("x"), "x");
    EXPECT_EQ(dirname_of(""), "");
}

TEST(Locator, NormalisedNames) {
    EXPECT_EQ(path_normalise("..\\DATA\\TEX\\Wall.JPG"), "../DATA/TEX/Wall.JPG");
    EXPECT_EQ(path_normalise("a.png\nrest"), "a.png");
    EXPECT_EQ(path_normalise(std::string(9000, 'x').c_str()).size(), NORMALISED_NAME_MAX);
    EXPECT_EQ(path_normalise(nullptr), "");
}

TEST(Locator, AssetLocateSearchesTheDataFoldersByBaseName) {
    vmtest::TempDir dir;
    dir.write("run/DATA/glm/x.obj", "model");
    dir.write("DATA/engine/sub/m.3ds", "deep");
    // A folder with the asset's name ahead in the list must not end the search.
    mkdir((dir / "run/DATA").c_str(), 0755);
    mkdir((dir / "run/DATA/TEX").c_str(), 0755);
    mkdir((dir / "run/DATA/TEX/x.obj").c_str(), 0755);
    ScopedCwd cwd(dir / "run");

    std::string found = "untouched";
    ASSERT_EQ(asset_locate("C:\\demo\\data\\x.obj", &found), 1);
    // "data/glm/%s" is the first folder whose variants reach DATA/glm.
    EXPECT_EQ(found, "data/glm/x.obj");
    EXPECT_EQ(opened(found.c_str()), "model");

    ASSERT_EQ(asset_locate("sub\\m.3ds", &found), 1);
    EXPECT_EQ(found, "../DATA/engine/sub/m.3ds");

    found = "untouched";
    EXPECT_EQ(asset_locate("nothing.obj", &found), 0);
    EXPECT_EQ(found, "untouched");
    EXPECT_EQ(asset_locate(nullptr, &found), 0);
    EXPECT_EQ(asset_locate("x.obj", nullptr), 1);
    EXPECT_EQ(asset_locate("nothing.obj", nullptr), 0);
}

TEST(Locator, ImageSearchFindsForeignSpellings) {
    vmtest::TempDir dir;
    dir.write("DATA/tex/wall.jpg", "wall");
    dir.write("run/data/tex/Mixed.PNG", "mixed");
    dir.write("run/Last.tga", "last");
    dir.write("run/C:/demo/x.png", "drive");
    ScopedCwd cwd(dir / "run");
    std::string found;
    ASSERT_EQ(image_search("..\\DATA\\TEX\\Wall.JPG", &found), 1);
    EXPECT_EQ(opened(found.c_str()), "wall");
    // Only the base name as written matches this one.
    ASSERT_EQ(image_search("elsewhere\\Mixed.PNG", &found), 1);
    EXPECT_EQ(found, "DATA/tex/Mixed.PNG");  // reaches data/tex through the first rewrite
    // The last resort: the base name as written, in the working folder.
    ASSERT_EQ(image_search("far/away/Last.tga", &found), 1);
    EXPECT_EQ(found, "Last.tga");
    // A drive path that exists as written (after the backslashes are turned) is taken first.
    ASSERT_EQ(image_search("C:\\demo\\x.png", &found), 1);
    EXPECT_EQ(found, "C:/demo/x.png");
    found = "untouched";
    EXPECT_EQ(image_search("nowhere.png", &found), 0);
    EXPECT_EQ(found, "untouched");
    EXPECT_EQ(image_search(nullptr, &found), 0);
    EXPECT_EQ(image_search("", &found), 0);
}

TEST(Locator, ImageSearchPrefersTheLowerCaseNameToTheFolders) {
    vmtest::TempDir dir;
    dir.write("wall.png", "here");
    dir.write("data/tex/Wall.png", "folder");
    ScopedCwd cwd(dir.path());
    std::string found;
    ASSERT_EQ(image_search("Wall.png", &found), 1);
    EXPECT_EQ(found, "wall.png");
}

TEST(Locator, OverlongNamesAreCutNotOverrun) {
    vmtest::TempDir dir;
    ScopedCwd cwd(dir.path());
    std::string name(20000, 'a');
    name += ".png";
    std::string found;
    EXPECT_EQ(image_search(name.c_str(), &found), 0);
    EXPECT_EQ(asset_locate(name.c_str(), &found), 0);
    EXPECT_EQ(fopen_variants(name.c_str(), "rb"), nullptr);
    std::string slashes(9000, '\\');
    EXPECT_EQ(image_search(slashes.c_str(), &found), 0);
}

}  // namespace
