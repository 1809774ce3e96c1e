// The two programs' tables: every option, command, file and exit status they document.
#include <array>
#include <cstddef>

#include "usage/program_usage.h"

namespace velquin {
namespace {

constexpr TOptionUsage kHelpOption{"--help", "", "", "show this help and exit (-h does the same)"};
constexpr TOptionUsage kVersionOption{"--version", "", "", "show the version and exit"};

// Both programs' own options.
constexpr std::array kProgramOptions{kHelpOption, kVersionOption};

constexpr std::string_view kWindowDescription[] = {
    "Velquin finds duplicate and near-duplicate pictures (JPEG, GIF, BMP; with All formats also PNG, WebP, "
    "TIFF and HEIC) in a folder, and with Subfolders in the folders below it, and lets you review "
    "the pairs side by side, most alike first, and move the copies you do not want to the desktop's trash.",
    "Every picture is condensed into a 4 x 4 grid of average colours (its signature); signatures are kept "
    "in two small tables inside the folder (Sigs and Matches), so a second scan reads only new or changed "
    "pictures.",
    "FOLDER, when given, becomes the window's folder once the saved settings and the folder list have been "
    "applied.",
};

constexpr TUsageItem kSettingsFiles[] = {
    {"~/.config/velquin/Velquin2.INI", "the window's layout, folder, margin and options"},
    {"~/.config/velquin/DirList.Txt", "the folder list"},
    {"~/.config/velquin/log.txt", "the folder of the last scan"},
    {"~/.config/velquin/summary-log.txt", "a line for every match pass"},
    {"~/.config/velquin/Velquin.INI", "the match pass's resume keys"},
    {"FOLDER/Sigs.DAT, FOLDER/Sigs.IDX", "the folder's signatures"},
    {"FOLDER/Matches.DAT, FOLDER/Matches.IDX", "the folder's pairs"},
};

constexpr std::string_view kFilesNote =
    "The files of ~/.config/velquin/ are in $XDG_CONFIG_HOME/velquin/ when XDG_CONFIG_HOME is set. A "
    "program run from its build tree keeps them beside its executable instead.";

constexpr std::string_view kWindowNotes[] = {kFilesNote};

// The options of scan, match and auto: the window's Margin and check boxes, at their first-run defaults.
constexpr std::array kFormOptions{
    TOptionUsage{"--margin", "", "N",
                 "the Margin, an integer: two pictures pair when no cell's colour differs by more than N "
                 "(default 10)"},
    TOptionUsage{"--force", "--no-force", "",
                 "load every picture again, or only new and changed ones (default --force)"},
    TOptionUsage{"--normalize", "--no-normalize", "",
                 "equalise each picture's brightness before its signature is made, or not (default "
                 "--normalize)"},
    TOptionUsage{"--incremental", "--no-incremental", "",
                 "search each new signature's pairs during the scan, or leave that to match (default "
                 "--incremental)"},
    TOptionUsage{"--colors", "--cell-sum", "",
                 "compare each colour of a cell on its own, or the sum of a cell's three differences "
                 "(default --colors)"},
    TOptionUsage{"--subfolders", "--no-subfolders", "",
                 "scan the folders below FOLDER too and pair pictures across them, or FOLDER alone (default "
                 "--no-subfolders)"},
    TOptionUsage{"--turned", "--no-turned", "",
                 "also pair pictures turned by a quarter, a half or three quarters, or mirrored, or not "
                 "(default --no-turned)"},
    TOptionUsage{"--gray", "--no-gray", "",
                 "also pair gray copies of colour pictures, or not (default --no-gray)"},
    TOptionUsage{"--all-formats", "--no-all-formats", "",
                 "also scan PNG, WebP, TIFF and HEIC pictures and .jpeg and .jpe files, or only .jpg, .gif "
                 "and .bmp ones (default --no-all-formats)"},
    TOptionUsage{"--verbose", "", "", "copy the log lines to stderr"},
};

constexpr TOptionUsage kThreadsOption{
    "--threads", "", "N",
    "decode pictures on N threads, 1 for one picture at a time; what is stored and reported is the same "
    "for any N (default: one thread per core)"};

// The options given, and --threads after them.
template <std::size_t N>
constexpr std::array<TOptionUsage, N + 1> WithThreads(const std::array<TOptionUsage, N>& options) {
  std::array<TOptionUsage, N + 1> joined{};
  for (std::size_t i = 0; i < N; ++i) joined[i] = options[i];
  joined[N] = kThreadsOption;
  return joined;
}

// scan and auto decode pictures; match does not.
constexpr auto kScanOptions = WithThreads(kFormOptions);
constexpr std::array kVerboseOnly{kFormOptions.back()};
constexpr auto kSignatureOptions =
    WithThreads(std::array{TOptionUsage{"--normalize", "", "", "equalise each picture's brightness first"}});
constexpr std::array kPairsOptions{
    TOptionUsage{"--json", "", "", "write a JSON array of {\"MaxDiff\", \"File1\", \"File2\"} objects"}};

constexpr std::array kGroupsOptions{
    TOptionUsage{"--json", "", "",
                 "write a JSON array of {\"Group\", \"Keeper\", \"File\", \"Format\", \"Width\", \"Height\", "
                 "\"Bytes\", \"Date\"} objects"}};
constexpr std::array kKeepBestOptions{
    TOptionUsage{"--apply", "", "", "move the files to the trash (without it, only print what would move)"},
    TOptionUsage{"--keep", "", "FILE",
                 "keep FILE in its group instead of the best picture (may be repeated)"},
    kFormOptions[0],
    kFormOptions[4],
};

constexpr TCommandUsage kCliCommands[] = {
    {"signature", "[--normalize] [--threads N] FILE...", "print each FILE's signature text",
     "For each FILE in order, print the file name, a TAB and its 192-character signature text. A file "
     "that cannot be loaded gives \"velquin-cli: FILE: MESSAGE\" on stderr, the others are still done, and "
     "the exit status is then 1.",
     kSignatureOptions, TOperandKind::File},
    {"scan", "[OPTIONS] FOLDER", "compute the folder's signatures (Signatures command)",
     "Bring the folder's signatures up to date, as the window's Signatures button does, and print the "
     "closing dialog's text.",
     kScanOptions, TOperandKind::Folder},
    {"match", "[OPTIONS] FOLDER", "rebuild the folder's pairs (Matches command)",
     "Pair the folder's pictures afresh, as the window's Matches button does, and print the closing "
     "dialog's text.",
     kFormOptions, TOperandKind::Folder},
    {"auto", "[OPTIONS] [FOLDER...]", "scan and match every folder of DirList.Txt, or those named",
     "Scan and match each folder of the folder list, as the window's Auto button does, or each FOLDER "
     "named; the folder list is left as it was.",
     kScanOptions, TOperandKind::Folder},
    {"pairs", "[--json] FOLDER", "list the pairs: MaxDiff, File1, File2",
     "List the folder's pairs, most alike first, one line each: MaxDiff, File1 and File2 split by TABs.",
     kPairsOptions, TOperandKind::Folder},
    {"sigs",
     "FOLDER",
     "list the signatures: FileName, FilePath, FileDate, Signature",
     "List the folder's signatures, one line each: FileName, FilePath, FileDate (YYYY-MM-DD HH:MM:SS) and "
     "the signature text split by TABs.",
     {},
     TOperandKind::Folder},
    {"clear", "[--verbose] FOLDER", "delete the folder's tables (ClearDBs command)",
     "Delete the folder's Sigs and Matches tables, as the window's Clear button does.", kVerboseOnly,
     TOperandKind::Folder},
    {"groups", "[--json] FOLDER", "list the groups of copies, the keeper first in each",
     "List the folder's groups of copies (pictures linked by pairs), one member a line: the group number, "
     "* for the keeper or - for the others, the full name, width, height, bytes and date (- for a missing "
     "file), split by TABs. The keeper has the most pixels, then the largest file, then the earliest "
     "modification time, then the smaller full name.",
     kGroupsOptions, TOperandKind::Folder},
    {"keep-best", "[OPTIONS] FOLDER", "keep the best of each group, trash the rest",
     "For each group of copies print keep and the keeper, then move and each file --apply would move to "
     "the trash, or skip, the file and why it stays. A file moves only when it is itself a pair with the "
     "keeper, neither file changed since its signature was made, their signatures still match at the "
     "Margin, it lies in the folder and it is not another name of the keeper's file. With --apply the "
     "files move, each printed as moved, the file and its entry in the trash, and their rows leave the "
     "tables; a file that cannot move is printed as skip with the error, and the exit status is then 1.",
     kKeepBestOptions, TOperandKind::Folder},
    {"restore",
     "FILE...",
     "bring trashed files back to where they were",
     "Put each FILE, named by its original path, back from the trash (the newest entry when there are "
     "several) and print restored and the file. A FILE that is not in the trash, or whose place is taken "
     "again, is left there with its error on stderr, the others are still done, and the exit status is "
     "then 1. The next scan and match bring its rows back.",
     {},
     TOperandKind::File},
};

constexpr std::string_view kCliDescription[] = {
    "velquin-cli runs the commands of the Velquin window from a terminal, on the same form, starting from "
    "the first-run settings (Velquin2.INI is neither read nor written), and lists a folder's tables.",
    "Pictures that cannot be processed are always listed on stderr, one line each: Unable to process "
    "\"PATH\": REASON. On a terminal a progress line is kept there.",
    "Every command checks its arguments before it starts: a --margin N that is not an integer is a usage "
    "error, a FOLDER that does not exist or is no folder gives \"velquin-cli: FOLDER: no such folder\", "
    "and tables that another Velquin has open give the store's error followed by \"(another Velquin is "
    "using this folder)\".",
};

constexpr std::string_view kCliNotes[] = {
    "In the lines of pairs and sigs a name's backslash, TAB, CR and LF are written \\\\, \\t, \\r and \\n, "
    "so every row is one line.",
    "pairs --json writes a name that is not valid UTF-8 with U+FFFD for each invalid byte and adds its "
    "bytes in base64 as \"File1_base64\" or \"File2_base64\".",
    "pairs and sigs never create tables: a folder without them lists nothing (pairs --json: []). A folder "
    "you cannot write is listed read-only, as its tables stand.",
    "clear deletes the tables without reading them, so damaged tables go too; it deletes nothing while "
    "another Velquin uses the folder.",
    kFilesNote,
};

constexpr TUsageItem kCliExitStatus[] = {
    {"0", "done"},
    {"1",
     "the command ended by an error (its text on stderr), a FILE of signature or restore failed, or a "
     "file keep-best --apply should move could not move"},
    {"2", "usage error"},
};

constexpr TUsageItem kWindowExitStatus[] = {
    {"0", "the window was closed"},
    {"2", "usage error"},
};

}  // namespace

const TProgramUsage& WindowUsage() {
  static constexpr TProgramUsage kWindow{"velquin",
                                         "find duplicate and near-duplicate pictures in a folder",
                                         "[FOLDER]",
                                         kWindowDescription,
                                         {},
                                         kProgramOptions,
                                         kWindowNotes,
                                         kSettingsFiles,
                                         kWindowExitStatus,
                                         "velquin-cli"};
  return kWindow;
}

const TProgramUsage& CliUsage() {
  static constexpr TProgramUsage kCli{"velquin-cli",
                                      "find duplicate and near-duplicate pictures from a terminal",
                                      "COMMAND [ARGUMENTS...]",
                                      kCliDescription,
                                      kCliCommands,
                                      kProgramOptions,
                                      kCliNotes,
                                      kSettingsFiles,
                                      kCliExitStatus,
                                      "velquin"};
  return kCli;
}

}  // namespace velquin
