// Resource ids shared by the dialog templates and the program.
#ifndef DISKARNO_RESOURCES_RESOURCE_H
#define DISKARNO_RESOURCES_RESOURCE_H

// MAINDIALOG
#define IDC_DESCRIPTION 200
#define IDC_DRIVE 100
#define IDC_PASSWORD 101
#define IDC_PASSWORD_LABEL 110
#define IDC_ABOUT 102
#define IDC_FRAME 502
#define IDC_WRITE_DISK 1
#define IDC_CLOSE 8

// DLGWRITE
#define IDC_STATUS 300
#define IDC_PROGRESS 301

#endif
