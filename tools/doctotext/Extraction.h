#pragma once

// What a document turned out to be, and how reading it ended.
enum class Kind { Unknown, Pdf, Docx, Xlsx, Pptx, Doc, Xls, Ppt };

// Also the process exit code.
enum class Outcome {
    Ok = 0,
    Usage = 1,
    Unreadable = 2,
    Unknown = 3,
    Damaged = 4,
    TooLarge = 5,
    Encrypted = 6,
    TimedOut = 7,
};
