// Resource ids of the language window, the options window and the about window.
#pragma once

#define IDD_ABOUT 104
#define IDD_LANGUAGE 112
#define IDD_SETTINGS_GENERAL 115

// Language window.
#define IDC_LANGUAGE_LIST 40027

// Options window.
#define IDC_SETTINGS_FOLDER_EDIT 40016
#define IDC_SETTINGS_BROWSE 40041
#define IDC_SETTINGS_SCAN_FOLDER 1006
#define IDC_SETTINGS_FOLDER_GROUP 1007

// About window.
#define IDC_ABOUT_VERSION 40016
#define IDC_ABOUT_PRODUCT_GROUP 1012
#define IDC_ABOUT_LINK_GROUP 1013
#define IDC_ABOUT_LINK 1014
#define IDC_ABOUT_PRODUCT 1015
#define IDC_ABOUT_DESCRIPTION 1016
#define IDC_ABOUT_COPYRIGHT 1017
