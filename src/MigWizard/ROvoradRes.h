// The system's message texts and file names, kept in one place.
#pragma once

namespace migwiz::res {

// Titles and names
inline constexpr const char* sMigrationWizard = " Migration Wizard";
inline constexpr const char* sLogSuffix = " log";
inline constexpr const char* sCreatedAt = "Created at:";
inline constexpr const char* sUndoFileName = "ROvorad.reu";
inline constexpr const char* sLogFileName = "Wiz_Log.txt";
inline constexpr const char* sDefaultBackupDir = "RBackup";
inline constexpr const char* sTempPrefix = "$DS";

// Log lines of a run
inline constexpr const char* sInitializingUnitList = "Initializing unit list";
inline constexpr const char* sCreatingBackupFolder = "Creating backup folder";
inline constexpr const char* sAllocatingTempFolder = "Allocating temporary folder";
inline constexpr const char* sProcessingFile = "Processing file: %s";
inline constexpr const char* sChanges = " change(s)";
inline constexpr const char* sNoChanges = "No changes";
inline constexpr const char* sReplacingOriginals = "Replacing original files with changed versions";
inline constexpr const char* sBackupFile = "Backup file: %s";
inline constexpr const char* sRemovingTempFolder = "Removing temporary folder";
inline constexpr const char* sReplaceSucceeded = "Replace procedure was performed sucessfully.";

// Errors and outcome messages
inline constexpr const char* sFailedToCreateDir = "Failed to create directory.";
inline constexpr const char* sReplaceCancelled = "Replace cancelled.";
inline constexpr const char* sReplaceFailed = "Replace failed.";
inline constexpr const char* sRestoreSucceeded = "Files were succefully restored.";
inline constexpr const char* sRestoreFailed = "Failed to restore files.";
inline constexpr const char* sCannotStartReplace = "Cannot start replace process.";
inline constexpr const char* sProjectNotSaved = "Project was not saved.";
inline constexpr const char* sInvalidRuleFormat = "Cannot add rule. Invalid rule format.";
inline constexpr const char* sUnknownNonterminal = "Unknown nonterminal: ";

// Wizard
inline constexpr const char* sStepCaption = "%s Migration Wizard - Step %d of %d";
inline constexpr const char* sReplaceComponents = "&Replace %s components";
inline constexpr const char* sWelcomeText =
    "Wizard facilitates converting your application to %s. It replaces all standard %s "
    "components to corresponding %s components. You may need to make some changes manually to "
    "compile your application successfully.";
inline constexpr const char* sUndoFileMissing = "Undo file \"%s\" does not exist.";
inline constexpr const char* sTargetDirMissing = "Target directory \"%s\" does not exist.";
inline constexpr const char* sNoUnitSelected = "At least one unit should be selected.";
inline constexpr const char* sSelectDirectory = "Select directory";
inline constexpr const char* sUndoFilter = "Undo files (*.reu)|*.reu|All files (*.*)|*.*";

// Summary pieces
inline constexpr const char* sSumMode = "Mode: ";
inline constexpr const char* sSumReplace = "Replace %s components\n\n";
inline constexpr const char* sSumDestination = "Scan destination: ";
inline constexpr const char* sSumProject = "Current open project\n\n";
inline constexpr const char* sSumFolder = "Folder \"%s\"\n\n";
inline constexpr const char* sSumBackupDir = "Backup dir: \"%s\"\n\n";
inline constexpr const char* sSumWriteLog = "Write log file\n\n";
inline constexpr const char* sSumViewLog = "View log afer replace\n\n";
inline constexpr const char* sSumUnits = "Units list:\n";
inline constexpr const char* sSumRestore = "Restore original files from backup\n\n";
inline constexpr const char* sSumUndoFile = "Undo file: \"%s\"\n\n";
inline constexpr const char* sSumRulesFile = "Rules file: \"%s\"\n\n";
inline constexpr const char* sSumKeepGoing = "Skip files that cannot be converted\n\n";
inline constexpr const char* sSumScanAliases = "Resolve database aliases across forms\n\n";

// Save warning
inline constexpr const char* sWarnReplace = "Current project will be saved. Continue?";
inline constexpr const char* sWarnRestore = "Old files will be restored from backup. Continue?";
inline constexpr const char* sNoteHideForms = "Project forms will be hidden.";
inline constexpr const char* sNoteCloseProject = "Current project will be closed.";
inline constexpr const char* sRestoreTarget = "Undo file: %s\nFiles restored into: %s";

// Texts of this system's own additions
inline constexpr const char* sLockFileName = "migwiz.lock";
inline constexpr const char* sAnotherRun = "Another replace run is using %s.";
inline constexpr const char* sSkippedFile = "Skipped file: %s: %s";
inline constexpr const char* sGoesWith = "goes with %s";
inline constexpr const char* sCannotReplace = "Cannot replace %s: %s";
inline constexpr const char* sCannotPutBack = "Cannot put back %s: %s";
inline constexpr const char* sObjectNotConverted =
    "Form \"%s\": object %s at line %d is not valid form text and cannot be converted";
inline constexpr const char* sFilesSkipped = "%d files could not be converted and were skipped.";
inline constexpr const char* sRulesFileError = "Rules file %s: %s";
inline constexpr const char* sRulesFileLine = "Rules file: %s";
inline constexpr const char* sCannotFlush = "Cannot write %s to disk: %s";
inline constexpr const char* sBackupCopyFailed =
    "Cannot make the backup copy \"%s\" of \"%s\": %s.";
inline constexpr const char* sBackupMissing = "The backup \"%s\" is missing.";
inline constexpr const char* sUndoFileEmpty = "The undo file \"%s\" names no file.";
inline constexpr const char* sDiffBinaryFormNote = "# binary form, shown as text\n";
inline constexpr const char* sDiffUtf16Note = "# UTF-16 file, shown as UTF-8\n";

// What is wrong with a form file
inline constexpr const char* sTextFormZeroByte = "Text form %s holds a zero byte at offset %d";
inline constexpr const char* sBinaryFormNameCut =
    "Binary form %s: the resource header ends before the end of its name";
inline constexpr const char* sBinaryFormHeaderCut =
    "Binary form %s: the resource header is cut short";
inline constexpr const char* sBinaryFormSizeMismatch =
    "Binary form %s: the header announces %d bytes, %d follow";
inline constexpr const char* sBinaryFormError = "Binary form %s: %s";
inline constexpr const char* sFormError = "Form %s: %s";

// The command line and the progress of a run
inline constexpr const char* sFilesDone = "%d of %d files";
inline constexpr const char* sCannotOpenProject = "Cannot open project \"%s\".";
inline constexpr const char* sWarning = "warning: %s";
inline constexpr const char* sSeeReport = " (see %s)";
inline constexpr const char* sReportSummary =
    "%d units and %d forms changed, %d objects converted, %d properties dropped, %d aliases "
    "without a connection, %d code references to revise, %d objects left on the %s";
inline constexpr const char* sMemberLost = "%s has no %s";

// A project read from disk
inline constexpr const char* sNoProjectFileName = "No project file name given";
inline constexpr const char* sProjectFileNotFound = "Project file \"%s\" not found";
inline constexpr const char* sFileProblem = "\"%s\": %s";
inline constexpr const char* sFileGone = "\"%s\": the file is gone";
inline constexpr const char* sUnitNamedTwice = "\"%s\": unit file \"%s\" is named twice";
inline constexpr const char* sUnitFileNotFound = "\"%s\": unit file \"%s\" not found";
inline constexpr const char* sPathNotUtf8 =
    " (the path is not UTF-8: set the code page it is written in)";
inline constexpr const char* sCodePageNote = "Unit path read in code page %s: %s";
inline constexpr const char* sInWithoutString =
    "unit %s: \"in\" is not followed by a complete string";

// What is wrong with a rules file (after sRulesFileError's file name)
inline constexpr const char* sRulesNotJson = "not JSON: %s";
inline constexpr const char* sRulesNotJsonAt = "not JSON, %s";
inline constexpr const char* sRulesNotObject = "the rules must be a JSON object";
inline constexpr const char* sRulesUnknownKey = "unknown key \"%s\"";
inline constexpr const char* sRulesClassesNotArray = "\"classes\" must be an array";
inline constexpr const char* sRulesUsesNotArray = "\"uses\" must be an array of unit names";
inline constexpr const char* sRulesNotAnObject = "%s must be an object";
inline constexpr const char* sRulesNotAString = "%s must be a string";
inline constexpr const char* sRulesEntryUnknownKey = "%s: unknown key \"%s\"";
inline constexpr const char* sRulesKeyMissing = "%s: \"%s\" is missing";
inline constexpr const char* sRulesKeyNotString = "%s.%s must be a string";
inline constexpr const char* sRulesNoClassName = "%s: \"%s\" is no class name";
inline constexpr const char* sRulesNoOldClass = "%s: \"%s\" is no old class of the table (%s)";
inline constexpr const char* sRulesNoNewClass = "%s: \"%s\" is no new class of the table (%s)";
inline constexpr const char* sRulesTableMaps = "%s: the table maps \"%s\" already";
inline constexpr const char* sRulesIsNewClass = "%s: \"%s\" is a new class of the table";
inline constexpr const char* sRulesMappedBefore = "%s: classes[%d] maps \"%s\" already";
inline constexpr const char* sRulesNoUnitName = "%s: \"%s\" is no unit name";

// The grammar engine
inline constexpr const char* sNoParseStack =
    "Cannot parse: no stack could be reserved for the parse.";
inline constexpr const char* sRuleMatchesEmpty =
    "Cannot prepare the grammar: the rule %s can still match an empty text.";
inline constexpr const char* sTextTooLarge = "Cannot parse: the text is larger than 2 GB.";
inline constexpr const char* sNestedTooDeeply =
    "Cannot parse: the text is nested too deeply (more than %d levels).";
inline constexpr const char* sNestedTooDeeplyForStack =
    "Cannot parse: the text is nested too deeply for the parse stack.";

// The Qt dialogs and settings
inline constexpr const char* sNoMailProgram = "No mail program could be started for\n%s";
inline constexpr const char* sNoProgramToOpen = "No program could be started to open\n%s";
inline constexpr const char* sCannotWriteSettings = "Cannot write the settings file \"%s\".";

}  // namespace migwiz::res
