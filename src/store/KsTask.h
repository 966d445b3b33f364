// CKsTask: one task record bound to its registry key. Loads and saves itself, deletes its key,
// moves between the enabled and the disabled parent, and takes field values from a caller's
// record with a size check.
//
// The object owns the eight strings of its record (C heap, see KsTaskInfo.h) and frees them on
// destruction. It is neither copyable nor movable: its current-path pointer refers into itself;
// copy a record's fields with Assign() instead.
//
// The name is taken through the task's identity (TaskName.h) and kept in its stored form. A name
// that is no task's name (empty, too long, or with a backslash once it has passed through the
// ANSI code page) is refused: every operation then fails and logs an Error line.
// Delete() also removes the task's history (TaskHistory.h).
// Not safe for concurrent use of one object.
#pragma once

#include "store/KsTaskInfo.h"

#include <cstdint>

namespace Keelwork {
class CRegKey;
class KeyValueSnapshot;
}

class CKsTask : public KSTASKINFO_LANE {
public:
    explicit CKsTask(const wchar_t* pwszName);
    virtual ~CKsTask();

    CKsTask(const CKsTask&) = delete;
    CKsTask& operator=(const CKsTask&) = delete;
    CKsTask(CKsTask&&) = delete;
    CKsTask& operator=(CKsTask&&) = delete;

    // Whether the key lives under the disabled parent; makes that parent's path current.
    bool IsDisabled();
    bool Read();
    bool Write();
    // Applies the calendar rule from base (0 = now) to dwNextRun; always true. No registry access.
    bool ComputeNextRun(uint32_t base);
    // Sets dwNextRun to the rule's first slot after `moment`, even one before the stored run: the
    // schedule a run at that moment leaves. No registry access.
    void computeNextRunAfter(uint32_t moment);
    bool Delete();
    bool Enable();
    bool Disable();
    // Windows error code: 0, or 87 for a null, too small or trigger-less record.
    uint32_t Assign(const KSTASKINFO* pInfo);

    const wchar_t* name() const { return m_wszName; }
    // The key every value read and write goes to, as handed to the registry.
    const wchar_t* currentPath() const { return m_pwszCurrentPath; }
    bool disabled() const { return m_bDisabled; }

protected:
    bool m_bDisabled = false;
    wchar_t m_wszName[KsStore::kMaxTaskNameChars + 1] = {};
    wchar_t m_wszKeyPath[KsStore::kKeyPathChars] = {};
    wchar_t m_wszDisabledKeyPath[KsStore::kKeyPathChars] = {};
    const wchar_t* m_pwszCurrentPath = m_wszKeyPath;

private:
    bool checkName() const;
    void makeEnabledCurrent();
    void makeDisabledCurrent();
    // Deletes the key at the current path; logs every failure but "not found", which the
    // callers judge themselves.
    long deleteCurrentKey();
    bool assignBase(const KSTASKINFO_BASE* pInfo);
    void readStrings(const Keelwork::KeyValueSnapshot& key);
    bool readTimes(const Keelwork::KeyValueSnapshot& key);
    void readOptions(const Keelwork::KeyValueSnapshot& key);
    void resetOptions();
    bool writeCommon(Keelwork::CRegKey& key);
    bool writeScheduleValues(Keelwork::CRegKey& key);
    void readLane(const Keelwork::KeyValueSnapshot& key);
    bool writeLane(Keelwork::CRegKey& key);

    // The name is a task's name (TaskIdentity::valid).
    bool m_bValidName = false;
};
