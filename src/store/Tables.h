#pragma once

// The program's tables: one field list and one key list per table. The record structures,
// their field and key numbers and their declarations are generated from these lists.

#include "store/Record.h"

// ---------------------------------------------------------------------------------- Schedule
// The fields up to the month-end flag, shared with the synchronization copy, which inserts
// one flag after them.
#define KR_SCHEDULE_FIELDS_HEAD(F)                                                                           \
    F(USER, user, String, 40)                                                                                \
    F(ID, id, Long, 0)                                                                                       \
    F(TASKTYPE, taskType, String, 20)                                                                        \
    F(CATEGORY, category, String, 20)                                                                        \
    F(DESCRIPTION, description, String, 40)                                                                  \
    F(COMMAND, command, String, 255)                                                                         \
    F(PATH, path, String, 255)                                                                               \
    F(SCHEDULETYPE, scheduleType, String, 15)                                                                \
    F(SUNDAY, sunday, Byte, 0)                                                                               \
    F(MONDAY, monday, Byte, 0)                                                                               \
    F(TUESDAY, tuesday, Byte, 0)                                                                             \
    F(WEDNESDAY, wednesday, Byte, 0)                                                                         \
    F(THURSDAY, thursday, Byte, 0)                                                                           \
    F(FRIDAY, friday, Byte, 0)                                                                               \
    F(SATURDAY, saturday, Byte, 0)                                                                           \
    F(MONTHREPEAT, monthRepeat, String, 18)                                                                  \
    F(OFFSET, offset, Long, 0)                                                                               \
    F(EVERY, every, Long, 0)                                                                                 \
    F(EVERY1ST, every1st, Byte, 0)                                                                           \
    F(EVERY2ND, every2nd, Byte, 0)                                                                           \
    F(EVERY3RD, every3rd, Byte, 0)                                                                           \
    F(EVERY4TH, every4th, Byte, 0)                                                                           \
    F(EVERYLAST, everyLast, Byte, 0)                                                                         \
    F(LASTDAYOFMONTH, lastDayOfMonth, Byte, 0)

#define KR_SCHEDULE_FIELDS_TAIL(F)                                                                           \
    F(EVERYTYPE, everyType, String, 20)                                                                      \
    F(DATE, date, Long, 0)                                                                                   \
    F(TIME, time, Long, 0)                                                                                   \
    F(LASTRUNDATE, lastRunDate, Long, 0)                                                                     \
    F(LASTRUNTIME, lastRunTime, Long, 0)                                                                     \
    F(SKIPNEXTTIME, skipNextTime, Byte, 0)                                                                   \
    F(ALARM, alarm, Byte, 0)                                                                                 \
    F(ALARMFILE, alarmFile, CString, 255)                                                                    \
    F(ADVANCEWARNDATE, advanceWarnDate, Long, 0)                                                             \
    F(ADVANCEWARNTIME, advanceWarnTime, Long, 0)                                                             \
    F(ADVANCEWARNED, advanceWarned, Byte, 0)                                                                 \
    F(WARN, warn, Byte, 0)                                                                                   \
    F(SKIPIFMISSED, skipIfMissed, Byte, 0)                                                                   \
    F(NOHISTORY, noHistory, Byte, 0)                                                                         \
    F(USERSKIP, userSkip, Byte, 0)                                                                           \
    F(DISABLED, disabled, Byte, 0)                                                                           \
    F(COMPLETED, completed, Byte, 0)                                                                         \
    F(SKIPPED, skipped, Byte, 0)                                                                             \
    F(UNDEFINEDOPTION1, undefinedOption1, Byte, 0)                                                           \
    F(UNDEFINEDOPTION2, undefinedOption2, Byte, 0)                                                           \
    F(SHIFTTYPE, shiftType, String, 20)                                                                      \
    F(EXCEPTWEEKENDS, exceptWeekends, Byte, 0)                                                               \
    F(EXCEPTWEEKDAYS, exceptWeekdays, Byte, 0)                                                               \
    F(EXCEPTHOLIDAYS, exceptHolidays, Byte, 0)                                                               \
    F(EXCEPTTIME, exceptTime, Byte, 0)                                                                       \
    F(EXCEPTTIMEBEGIN, exceptTimeBegin, Long, 0)                                                             \
    F(EXCEPTTIMEEND, exceptTimeEnd, Long, 0)                                                                 \
    F(EXCEPTOTHER, exceptOther, String, 20)                                                                  \
    F(EXCEPTIONLINK, exceptionLink, Long, 0)                                                                 \
    F(NETWORKUSER, networkUser, String, 30)                                                                  \
    F(LASTCHANGEDATE, lastChangeDate, Long, 0)                                                               \
    F(LASTCHANGETIME, lastChangeTime, Long, 0)                                                               \
    F(ORIGINALID, originalId, Long, 0)                                                                       \
    F(MESSAGE, message, Memo, 1000)

#define KR_SCHEDULE_FIELDS(F) KR_SCHEDULE_FIELDS_HEAD(F) KR_SCHEDULE_FIELDS_TAIL(F)
#define KR_SYNCSCHEDULE_FIELDS(F)                                                                            \
    KR_SCHEDULE_FIELDS_HEAD(F) F(BIMONTHLY, biMonthly, Byte, 0) KR_SCHEDULE_FIELDS_TAIL(F)

#define KR_SCHEDULE_KEYS(K)                                                                                  \
    K(KEYID, key::Primary | key::NoCase | key::Opt, ID)                                                      \
    K(KEYUSER, key::Dup | key::NoCase | key::Opt | key::Maintained, USER, ID)                                \
    K(KEYDATE, key::Dup | key::NoCase | key::Opt, DATE, TIME)                                                \
    K(KEYUSERDATE, key::Dup | key::NoCase | key::Opt | key::Maintained, USER, DATE, TIME)                    \
    K(KEYCATEGORY, key::Dup | key::NoCase | key::Opt, CATEGORY, DESCRIPTION)                                 \
    K(KEYCATEGORYDATE, key::Dup | key::NoCase | key::Opt, CATEGORY, DATE, TIME)                              \
    K(KEYTASKNAME, key::Dup | key::NoCase | key::Opt, DESCRIPTION, CATEGORY)                                 \
    K(KEYTASKTYPE, key::Dup | key::NoCase | key::Opt, TASKTYPE, DESCRIPTION)                                 \
    K(KEYTASKDATE, key::Dup | key::NoCase | key::Opt, TASKTYPE, DATE, TIME)                                  \
    K(KEYDATEENABLED, key::Dup | key::NoCase | key::Opt, DISABLED, DATE, TIME)                               \
    K(KEYADVANCED, key::Dup | key::NoCase | key::Opt, ADVANCEWARNED, ADVANCEWARNDATE, ADVANCEWARNTIME)       \
    K(KEYUSERADVANCED, key::Dup | key::NoCase | key::Opt | key::Maintained, USER, ADVANCEWARNDATE,           \
      ADVANCEWARNTIME)                                                                                       \
    K(KEYORIGINALID, key::Dup | key::NoCase | key::Opt | key::Maintained, ORIGINALID)

// --------------------------------------------------------------------------------- Scripting
#define KR_SCRIPTING_FIELDS(F)                                                                               \
    F(ID, id, Long, 0)                                                                                       \
    F(SEQUENCE, sequence, Long, 0)                                                                           \
    F(ACTION, action, String, 27)                                                                            \
    F(KEYSTROKES, keystrokes, String, 255)                                                                   \
    F(SECONDSTOWAIT, secondsToWait, Long, 0)                                                                 \
    F(WAITFORWINDOW, waitForWindow, String, 255)                                                             \
    F(FOCUSONWINDOW, focusOnWindow, String, 255)                                                             \
    F(WINDOWEXISTANCE, windowExistance, String, 20)                                                          \
    F(WINDOWTITLETOCHECKFOR, windowTitleToCheckFor, String, 255)                                             \
    F(IFTIMEELAPSED, ifTimeElapsed, String, 20)                                                              \
    F(TIMEELAPSED, timeElapsed, Long, 0)                                                                     \
    F(NEXTTASKID, nextTaskId, Long, 0)                                                                       \
    F(NETWORKUSER, networkUser, String, 30)                                                                  \
    F(LASTCHANGEDATE, lastChangeDate, Long, 0)                                                               \
    F(LASTCHANGETIME, lastChangeTime, Long, 0)                                                               \
    F(ORIGINALID, originalId, Long, 0)                                                                       \
    F(EMAILID, emailId, Long, 0)                                                                             \
    F(COMMAND, command, String, 255)                                                                         \
    F(PATH, path, String, 255)                                                                               \
    F(DDETYPE, ddeType, String, 20)                                                                          \
    F(DDEAPPLICATIONNAME, ddeApplicationName, String, 80)                                                    \
    F(DDEAPPLICATIONTOPIC, ddeApplicationTopic, String, 80)                                                  \
    F(DDELINKITEM, ddeLinkItem, String, 80)                                                                  \
    F(DDECOMMAND, ddeCommand, String, 80)

#define KR_SCRIPTING_KEYS(K)                                                                                 \
    K(KEYID, key::Primary | key::NoCase | key::Opt, ID, SEQUENCE)                                            \
    K(KEYEMAIL, key::Dup | key::NoCase | key::Opt | key::Maintained, EMAILID)

// -------------------------------------------------------------------------- Categories & co.
#define KR_CATEGORIES_FIELDS(F) F(CATEGORY, category, String, 20)
#define KR_CATEGORIES_KEYS(K) K(KEYCATEGORY, key::Unique | key::NoCase | key::Opt, CATEGORY)

#define KR_CONTACTCATEGORIES_FIELDS(F) F(CONTACTCATEGORY, contactCategory, String, 20)
#define KR_CONTACTCATEGORIES_KEYS(K)                                                                         \
    K(KEYCONTACTCATEGORIES, key::Unique | key::NoCase | key::Opt, CONTACTCATEGORY)

// -------------------------------------------------------------------------------------- Todo
#define KR_TODO_FIELDS(F)                                                                                    \
    F(DONE, done, Byte, 0)                                                                                   \
    F(PRIORITY, priority, Byte, 0)                                                                           \
    F(CATEGORY, category, String, 20)                                                                        \
    F(TODO, todo, String, 80)                                                                                \
    F(COMPLETIONDATE, completionDate, Long, 0)                                                               \
    F(COMPLETIONTIME, completionTime, Long, 0)                                                               \
    F(NETWORKUSER, networkUser, String, 30)                                                                  \
    F(LASTCHANGEDATE, lastChangeDate, Long, 0)                                                               \
    F(LASTCHANGETIME, lastChangeTime, Long, 0)                                                               \
    F(ORIGINALID, originalId, Long, 0)                                                                       \
    F(NOTES, notes, Memo, 4096)                                                                              \
    F(RESOLUTION, resolution, Memo, 1000)

#define KR_TODO_KEYS(K)                                                                                      \
    K(KEYDONE, key::Dup | key::Opt, DONE, PRIORITY, TODO)                                                    \
    K(KEYPRIORITY, key::Dup | key::Opt, PRIORITY, DONE, TODO)                                                \
    K(KEYTODO, key::Dup | key::Opt, TODO)                                                                    \
    K(KEYCATEGORY, key::Dup | key::NoCase | key::Opt, CATEGORY, PRIORITY, TODO)

// ----------------------------------------------------------------------------------- Contact
#define KR_CONTACT_FIELDS(F)                                                                                 \
    F(USER, user, String, 40)                                                                                \
    F(CLIENTID, clientId, Long, 0)                                                                           \
    F(LASTNAME, lastName, String, 30)                                                                        \
    F(FIRSTNAME, firstName, String, 20)                                                                      \
    F(ADDRESSLINE1, addressLine1, String, 30)                                                                \
    F(ADDRESSLINE2, addressLine2, String, 30)                                                                \
    F(ADDRESSLINE3, addressLine3, String, 30)                                                                \
    F(POSTALCODE, postalCode, String, 10)                                                                    \
    F(WORKDAYPHONE, workdayPhone, String, 20)                                                                \
    F(HOMEEVENINGPHONE, homeEveningPhone, String, 20)                                                        \
    F(FAX, fax, String, 20)                                                                                  \
    F(OTHERPHONE, otherPhone, String, 20)                                                                    \
    F(EMAIL, email, String, 40)                                                                              \
    F(WEBSITE, website, String, 60)                                                                          \
    F(CONTACTCATEGORY, contactCategory, String, 20)                                                          \
    F(NOTES, notes, Memo, 1024)

#define KR_CONTACT_KEYS(K)                                                                                   \
    K(KEYCLIENTID, key::Primary | key::NoCase | key::Opt, CLIENTID)                                          \
    K(KEYUSERCLIENTID, key::Dup | key::NoCase | key::Opt | key::Maintained, USER, CLIENTID)                  \
    K(KEYLASTNAME, key::Dup | key::NoCase | key::Opt, LASTNAME, FIRSTNAME, POSTALCODE)                       \
    K(KEYFIRSTNAME, key::Dup | key::NoCase | key::Opt, FIRSTNAME, LASTNAME, POSTALCODE)                      \
    K(KEYWORKPHONE, key::Dup | key::NoCase | key::Opt, WORKDAYPHONE)                                         \
    K(KEYHOMEPHONE, key::Dup | key::NoCase | key::Opt, HOMEEVENINGPHONE)                                     \
    K(KEYFAXNUMBER, key::Dup | key::NoCase | key::Opt, FAX)                                                  \
    K(KEYEMAIL, key::Dup | key::NoCase | key::Opt, EMAIL)                                                    \
    K(KEYCATEGORY, key::Dup | key::NoCase | key::Opt, CONTACTCATEGORY, LASTNAME, FIRSTNAME)

// --------------------------------------------------------------------------------- Clipboard
#define KR_CLIPBOARD_FIELDS(F)                                                                               \
    F(USER, user, String, 40)                                                                                \
    F(CLIPDATE, clipDate, Long, 0)                                                                           \
    F(CLIPTIME, clipTime, Long, 0)                                                                           \
    F(CLIPHASHKEY, clipHashKey, String, 40)                                                                  \
    F(CLIPKEEP, clipKeep, Byte, 0)                                                                           \
    F(CLIPCONTENTS, clipContents, Memo, 4096)

#define KR_CLIPBOARD_KEYS(K)                                                                                 \
    K(KEYCLIPDATE, key::Dup | key::Opt, USER, CLIPKEEP, CLIPDATE, CLIPTIME)                                  \
    K(KEYCLIPHASH, key::Unique | key::NoCase | key::Opt, USER, CLIPHASHKEY)

// ---------------------------------------------------------------------------------- Holidays
#define KR_HOLIDAYS_FIELDS(F)                                                                                \
    F(HOLIDAYDATE, holidayDate, Long, 0)                                                                     \
    F(HOLIDAY, holiday, String, 20)                                                                          \
    F(ANNUAL, annual, Byte, 0)

#define KR_HOLIDAYS_KEYS(K) K(KEYHOLIDAYDATE, key::Unique | key::NoCase | key::Opt, HOLIDAYDATE)

// ---------------------------------------------------------------------------------- Messages
#define KR_MESSAGES_FIELDS(F)                                                                                \
    F(EMAILID, emailId, Long, 0)                                                                             \
    F(MAILTYPE, mailType, String, 12)                                                                        \
    F(CONTACTID, contactId, Long, 0)                                                                         \
    F(EMAILTO, emailTo, String, 255)                                                                         \
    F(EMAILTONAME, emailToName, String, 255)                                                                 \
    F(EMAILTOGROUP, emailToGroup, String, 20)                                                                \
    F(CC, cc, String, 255)                                                                                   \
    F(BCC, bcc, String, 255)                                                                                 \
    F(SUBJECT, subject, String, 255)                                                                         \
    F(ATTACHMENT, attachment, String, 255)                                                                   \
    F(LASTDATESENT, lastDateSent, Long, 0)                                                                   \
    F(MAIL_SERVER, mailServer, String, 128)                                                                  \
    F(MAIL_USER, mailUser, String, 128)                                                                      \
    F(NEWS_SERVER, newsServer, String, 128)                                                                  \
    F(NEWS_USER, newsUser, String, 128)                                                                      \
    F(NEWS_PASSWORD, newsPassword, String, 128)                                                              \
    F(MESSAGE, message, Memo, 10000)

#define KR_MESSAGES_KEYS(K)                                                                                  \
    K(KEYEMAILID, key::Primary | key::NoCase | key::Opt, EMAILID)                                            \
    K(KEYCONTACT, key::Dup | key::NoCase | key::Opt | key::Maintained, CONTACTID, EMAILID)                   \
    K(KEYSUBJECT, key::Dup | key::NoCase | key::Opt | key::Maintained, SUBJECT)                              \
    K(KEYLASTDATESENT, key::Dup | key::NoCase | key::Opt | key::Maintained, LASTDATESENT)

// ----------------------------------------------------------------------------- Configuration
#define KR_CONFIGURATION_FIELDS(F)                                                                           \
    F(DATATYPE, dataType, String, 40)                                                                        \
    F(DATAVALUE, dataValue, String, 80)

#define KR_CONFIGURATION_KEYS(K) K(KEYDATATYPE, key::Unique | key::NoCase | key::Opt, DATATYPE)

// ------------------------------------------------------------------------------------- Tags
#define KR_TAG_FIELDS(F)                                                                                     \
    F(USR, usr, Long, 0)                                                                                     \
    F(TBL, tbl, Short, 0)                                                                                    \
    F(PTR, ptr, Long, 0)                                                                                     \
    F(VAL, val, String, 10)

#define KR_TAG_KEYS(K)                                                                                       \
    K(PTRKEY, key::Primary | key::NoCase | key::Opt, USR, TBL, PTR)                                          \
    K(VALKEY, key::Dup | key::NoCase | key::Opt, USR, TBL, VAL)

// -------------------------------------------------------------------------------------- Runs
// One record per occurrence handled, Run Now and Quick Start: what happened to it and, for a
// started program, how it ended. Moments are local dates and times like the schedule's.
#define KR_RUNS_FIELDS(F)                                                                                    \
    F(RUN, run, Long, 0)                                                                                     \
    F(TASKID, taskId, Long, 0)                                                                               \
    F(DESCRIPTION, description, String, 40)                                                                  \
    F(USER, user, String, 40)                                                                                \
    F(STATION, station, String, 64)                                                                          \
    F(TRIGGER, trigger, String, 12)                                                                          \
    F(DUEDATE, dueDate, Long, 0)                                                                             \
    F(DUETIME, dueTime, Long, 0)                                                                             \
    F(STARTDATE, startDate, Long, 0)                                                                         \
    F(STARTTIME, startTime, Long, 0)                                                                         \
    F(ENDDATE, endDate, Long, 0)                                                                             \
    F(ENDTIME, endTime, Long, 0)                                                                             \
    F(DURATION, duration, Long, 0)                                                                           \
    F(RESULT, result, String, 40)                                                                            \
    F(REASON, reason, String, 40)                                                                            \
    F(SCRIPTEND, scriptEnd, String, 255)                                                                     \
    F(PID, pid, Long, 0)                                                                                     \
    F(EXITED, exited, Byte, 0)                                                                               \
    F(EXITSTATUS, exitStatus, Long, 0)                                                                       \
    F(SIGNAL, signal, Long, 0)                                                                               \
    F(FAILURE, failure, Long, 0)                                                                             \
    F(FAILURETEXT, failureText, String, 255)                                                                 \
    F(OUTPUT, output, String, 255)                                                                           \
    F(BYTESKEPT, bytesKept, Long, 0)                                                                         \
    F(BYTESLEFTOUT, bytesLeftOut, String, 20)                                                                \
    F(ITEMS, items, Memo, 4096)

#define KR_RUNS_KEYS(K)                                                                                      \
    K(KEYRUN, key::Primary | key::NoCase | key::Opt, RUN)                                                    \
    K(KEYTASKRUN, key::Dup | key::NoCase | key::Opt, TASKID, RUN)                                            \
    K(KEYDUE, key::Dup | key::NoCase | key::Opt, DUEDATE, DUETIME)                                           \
    K(KEYSTATIONRESULT, key::Dup | key::NoCase | key::Opt, STATION, RESULT, RUN)

// The record structure of a table: one member per field, the field and key numbers, and the
// table's declaration.
#define KR_RECORD(Name, FIELDS, KEYS)                                                                        \
    struct Name {                                                                                            \
        FIELDS(KR_FIELD_MEMBER)                                                                              \
        ::kr::RecordMeta meta;                                                                               \
        enum Field : int { FIELDS(KR_FIELD_ENUM) FieldCount };                                               \
        enum Key : int { KEYS(KR_KEY_ENUM) KeyCount };                                                       \
        static const ::kr::TableDecl& decl();                                                                \
        static const std::vector<::kr::FieldDecl>& fieldDecls();                                             \
        static ::kr::RecordMeta* metaOf(void* r) { return &static_cast<Name*>(r)->meta; }                    \
    };

namespace kr {

KR_RECORD(Schedule, KR_SCHEDULE_FIELDS, KR_SCHEDULE_KEYS)
KR_RECORD(SyncSchedule, KR_SYNCSCHEDULE_FIELDS, KR_SCHEDULE_KEYS)
KR_RECORD(Scripting, KR_SCRIPTING_FIELDS, KR_SCRIPTING_KEYS)
KR_RECORD(Categories, KR_CATEGORIES_FIELDS, KR_CATEGORIES_KEYS)
KR_RECORD(Todo, KR_TODO_FIELDS, KR_TODO_KEYS)
KR_RECORD(Contact, KR_CONTACT_FIELDS, KR_CONTACT_KEYS)
KR_RECORD(ContactCategories, KR_CONTACTCATEGORIES_FIELDS, KR_CONTACTCATEGORIES_KEYS)
KR_RECORD(Clipboard, KR_CLIPBOARD_FIELDS, KR_CLIPBOARD_KEYS)
KR_RECORD(Holidays, KR_HOLIDAYS_FIELDS, KR_HOLIDAYS_KEYS)
KR_RECORD(Messages, KR_MESSAGES_FIELDS, KR_MESSAGES_KEYS)
KR_RECORD(Configuration, KR_CONFIGURATION_FIELDS, KR_CONFIGURATION_KEYS)
KR_RECORD(Tag, KR_TAG_FIELDS, KR_TAG_KEYS)
KR_RECORD(Runs, KR_RUNS_FIELDS, KR_RUNS_KEYS)

// The synchronization copies of script items and to-do entries share the record structures
// of the local tables, under their own prefixes and table names.
const TableDecl& SyncScriptingDecl();
const TableDecl& SyncTodoDecl();

// Every table in the order in which their layouts are declared at start-up.
const std::vector<const TableDecl*>& DeclaredTables();
// The tables of the data file: the ten of its layouts and the run records.
const std::vector<const TableDecl*>& DataFileTables();

} // namespace kr
