// Identifiers shared by Uninstall.rc and the program's code. Dialogs are
// named resources ("DLG_DELSHARED"), found by their text, so their names are
// not defined here: a #define would turn them into numbers in the template.
#pragma once

// DLG_DELSHARED: the prompt about a shared file nobody else counts.
#define IDC_DELSHARED_QUESTION    101
#define IDC_DELSHARED_NAMELABEL   103
#define IDC_DELSHARED_NAME        104
#define IDC_DELSHARED_FOLDERLABEL 105
#define IDC_DELSHARED_FOLDER      106
#define IDC_DELSHARED_YES         107
#define IDC_DELSHARED_YESTOALL    108
#define IDC_DELSHARED_NO          109
#define IDC_DELSHARED_NOTOALL     110
