// String ids of the product's resource DLL (KsOemRes.dll), shared by its .rc script and by the
// code and tests that load strings from it.
#pragma once

// Package table: string <package number> holds the base id of that package's own strings; a
// packaged id (offset << 16 | default id) then resolves to base + offset.
#define KS_RES_PACKAGE_5_BASE 5
#define KS_RES_PACKAGE_5_BASE_VALUE 7000
#define KS_RES_PACKAGE_OFFSET_SCAN_DESCRIPTION 1

// Schedule preset descriptions; {DAY} and {TIME} are filled in by the preset loader.
#define KS_RES_PRESET_DAILY 9100
#define KS_RES_PRESET_WEEKLY 9101
#define KS_RES_PRESET_MONTHLY 9102
#define KS_RES_PRESET_WEEKLY_SCAN 9103

// Week-day names for week-day bits 0 (Sunday) to 6 (Saturday).
#define KS_RES_DAY_SUNDAY 9200
#define KS_RES_DAY_SATURDAY 9206

// Texts that name the company through the neutral placeholder.
#define KS_RES_SCAN_DESCRIPTION 9300

#define KS_RES_COMPANY_NAME 35030
