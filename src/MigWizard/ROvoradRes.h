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

}  // namespace migwiz::res
