// The Russian texts of the programmer's windows, menus and messages.
#pragma once

#include <QString>
#include <QStringList>

#include "image/image_file.h"
#include "job/transfer_context.h"
#include "report/job_estimate.h"

namespace bramis::texts {

// Main window.
inline QString MainCaption() { return QStringLiteral("Программатор Брамис"); }
inline QString FileNameLabel() { return QStringLiteral("Имя файла программы:"); }
inline QString ExitButton() { return QStringLiteral("Выход"); }
inline QString WriteButton() { return QStringLiteral("Записать в прибор"); }
inline QString ReadButton() { return QStringLiteral("Прочитать из прибора"); }
inline QString BrowseButton() { return QStringLiteral("..."); }

// Menu of the main window; '&' marks the mnemonic letter.
inline QString MenuOperations() { return QStringLiteral("&Операции"); }
inline QString MenuChooseFile() { return QStringLiteral("Выбрать &файл ..."); }
inline QString MenuWrite() { return QStringLiteral("&Записать в прибор"); }
inline QString MenuRead() { return QStringLiteral("&Прочитать из прибора"); }
inline QString MenuCompare() { return QStringLiteral("&Сравнить прибор с файлом"); }
inline QString MenuExit() { return QStringLiteral("В&ыход"); }
inline QString MenuService() { return QStringLiteral("Серв&ис"); }
inline QString MenuSettings() { return QStringLiteral("&Настройка"); }
inline QString MenuJournal() { return QStringLiteral("&Журнал заданий"); }
inline QString MenuStation() { return QStringLiteral("&Участок программирования"); }
inline QString JournalCaption() { return QStringLiteral("Журнал заданий"); }
inline QString JournalFilterHint() { return QStringLiteral("Найти: файл, порт, пользователь, результат…"); }
inline QString JournalOpenFolder() { return QStringLiteral("Открыть папку"); }
inline QString MenuHelp() { return QStringLiteral("&?"); }
inline QString MenuHelpTopics() { return QStringLiteral("Вызов &справки"); }
inline QString MenuAbout() { return QStringLiteral("&О программе ..."); }
// The About item of the window's system menu.
inline QString SystemMenuAbout() { return QStringLiteral("&О программе..."); }

// Outcome notices of the main window's commands, and their captions.
inline QString WriteSucceeded() { return QStringLiteral("Программа успешно записана"); }
inline QString WriteCaption() { return QStringLiteral("Запись"); }
inline QString ReadSucceeded() { return QStringLiteral("Программа успешно прочитана"); }
inline QString ReadCaption() { return QStringLiteral("Чтение"); }
// A write checked by reading the program back, and the comparison of the
// device's program with the file alone.
inline QString WriteVerified() { return QStringLiteral("Программа записана и проверена"); }
inline QString CompareCaption() { return QStringLiteral("Сравнение"); }
inline QString DeviceMatchesFile() { return QStringLiteral("Программа в приборе совпадает с файлом"); }
// Blocks counted from 1.
inline QString Differences(int firstBlock, int count, int blockCount) {
    return QStringLiteral("первый отличающийся блок %1, всего отличающихся блоков %2 из %3")
        .arg(firstBlock)
        .arg(count)
        .arg(blockCount);
}
inline QString WriteNotVerified(const QString& differences) {
    return QStringLiteral("Программа записана, но прочитанная из прибора отличается от файла: %1").arg(differences);
}
inline QString DeviceDiffersFromFile(const QString& differences) {
    return QStringLiteral("Программа в приборе отличается от файла: %1").arg(differences);
}
// A write that failed or was cancelled after the erase had begun.
inline QString ProgramErased() {
    return QStringLiteral("Программа прибора стёрта или записана не полностью: прибор заработает только после "
                          "успешной записи.");
}
inline QString WriteCancelled() { return QStringLiteral("Запись отменена."); }
inline QString VerifyCancelled() {
    return QStringLiteral("Программа записана, но проверка чтением отменена: запись не проверена.");
}
// A write cancelled before the erase: the device keeps its program.
inline QString WriteCancelledProgramKept() { return QStringLiteral("Запись отменена. Программа прибора не изменена."); }
// The main window's title while a job runs.
inline QString CaptionWithPercent(int percent) { return QStringLiteral("%1% — %2").arg(percent).arg(MainCaption()); }

// A file chosen in the Open dialog was loaded.
inline QString FileLoaded() { return QStringLiteral("Файл успешно прочитан"); }

// About box.
inline QString AboutCaption() { return QStringLiteral("О программе"); }
inline QString AboutDescription() {
    return QStringLiteral("Обновление программного обеспечения прибора Брамис.");
}
inline QString AboutVersion() { return QStringLiteral("Версия 1.3"); }
inline QString OkButton() { return QStringLiteral("OK"); }

// Settings window. "СОМ" in the port label is written in Cyrillic letters.
inline QString SettingsCaption() { return QStringLiteral("Настройка"); }
inline QString PortNumberLabel() { return QStringLiteral("Номер \u0421\u041E\u041C порта для связи с прибором"); }
inline QString ProgramAutoloadLabel() { return QStringLiteral("Запоминать имя файла последней программы"); }
inline QString EndSoundLabel() { return QStringLiteral("Звуковой сигнал по окончании"); }
inline QString VerifyAfterWriteLabel() { return QStringLiteral("Проверять запись чтением"); }
inline QString PortItem(int portNumber) { return QStringLiteral("COM%1").arg(portNumber); }
inline QString AbsentPortItem(int portNumber) { return QStringLiteral("COM%1 (не подключён)").arg(portNumber); }
// Binding a COM number to the adapter's stable name, or to the USB socket
// it is plugged into (Linux).
inline QString BindPortLabel() { return QStringLiteral("Закрепить номер за этим переходником"); }
inline QString BindPortHint() {
    return QStringLiteral("Номер будет означать этот переходник, в каком бы порядке ни подключали переходники");
}
inline QString BindSocketLabel() { return QStringLiteral("Закрепить номер за этим USB-гнездом"); }
inline QString BindSocketHint() {
    return QStringLiteral("Номер будет означать это USB-гнездо, какой бы переходник в него ни включили: "
                          "единственное постоянное имя переходников без заводского номера (CH340)");
}
inline QString NoStableNameHint() {
    return QStringLiteral("У этого порта нет постоянного имени в /dev/serial/by-id и /dev/serial/by-path");
}
// Finding the device: the button, what it does, and how the search went.
inline QString FindDeviceButton() { return QStringLiteral("Найти прибор"); }
inline QString StopFindButton() { return QStringLiteral("Остановить"); }
inline QString FindDeviceNote() { return QStringLiteral("Посылает запрос входа в программирование на каждый порт"); }
inline QString FindDeviceHint() {
    return QStringLiteral("Посылает запрос входа в режим программирования на каждый порт списка по очереди и "
                          "выбирает порт, где ответил прибор. Каждый опрошенный прибор сразу возвращается "
                          "в рабочий режим.");
}
inline QString FindTrying(int portNumber) { return QStringLiteral("Опрос COM%1…").arg(portNumber); }
inline QString DeviceFoundOn(int portNumber) { return QStringLiteral("Прибор ответил на COM%1").arg(portNumber); }
inline QString NoDeviceFound() { return QStringLiteral("Прибор не найден: ни один порт не ответил"); }
inline QString FindStopped() { return QStringLiteral("Поиск остановлен"); }
// Checking the chosen port: the button, the list's first line while it
// runs, its last line with the verdict, and each finding's line with what
// to do.
inline QString CheckPortButton() { return QStringLiteral("Проверить подключение"); }
inline QString CheckPortHint() {
    return QStringLiteral("Проверяет выбранный порт: переходник, права, другие программы и ответ прибора, "
                          "который сразу возвращается в рабочий режим.");
}
inline QString CheckingPort(int portNumber) { return QStringLiteral("Проверка COM%1…").arg(portNumber); }
inline QString CheckVerdict(int portNumber, const QString& verdict) {
    return QStringLiteral("COM%1: %2").arg(portNumber).arg(verdict);
}
inline QString CheckFinding(const QString& found, const QString& remedy) {
    return remedy.isEmpty() ? found : found + QStringLiteral("\nЧто делать: ") + remedy;
}

// Progress window.
inline QString CancelButton() { return QStringLiteral("Отмена"); }
inline QString WorkerNotStarted() { return QStringLiteral("Не удалось запустить обмен с прибором"); }
// Below the time elapsed and left while blocks go, as "mm:ss".
inline QString TimeLine(const QString& elapsed, const QString& left) {
    return QStringLiteral("прошло %1 · осталось %2").arg(elapsed, left);
}
// A run's length once it has ended.
inline QString ElapsedLine(const QString& elapsed) { return QStringLiteral("прошло %1").arg(elapsed); }
// The box of a failure the worker shows: what failed; under it why (the
// port and the system's reason with the access hint, or the cause and the
// block) and whether the device's program is erased. `portNumber`: the COM
// number the job opened.
QString FailureText(const TransferFailure& failure, int portNumber);
// Its caption: the application title for a port that did not open, else "Ошибка".
QString FailureCaption(const TransferFailure& failure);
// The time line of `estimate` at `now` ("прошло … · осталось …"); "" until a
// block is through.
QString EstimateLine(const JobEstimate& estimate, double now);
// An image file that did not load or save: the message, and under it why.
QString FileMessage(const FileOutcome& outcome);
// Added below a failed save of a program read from the device, before the
// Save dialog comes again.
inline QString ChooseAnotherPlace() {
    return QStringLiteral("Прочитанная программа не сохранена. Выберите другое место для файла.");
}

// Open and Save dialogs: the filter of program files and of all files.
inline QString ImageFileFilter() {
    return QStringLiteral("Файлы программ Брамис (*.dat);;Все файлы (*.*)");
}
inline QString ImageFileSuffix() { return QStringLiteral("dat"); }

// The production station: several slots, each writing the station's image
// into the device on its own port.
inline QString StationCaption() { return QStringLiteral("Участок программирования"); }
inline QString StationImageLabel() { return QStringLiteral("Программа:"); }
inline QString StationNoImage() { return QStringLiteral("файл не выбран"); }
// The chosen file's size and its SHA-256, first and last 8 hex digits.
inline QString StationImageInfo(qint64 size, const QString& sha256) {
    return QStringLiteral("%1 байт · SHA-256 %2…%3").arg(size).arg(sha256.left(8), sha256.right(8));
}
inline QString CopySha256() { return QStringLiteral("Копировать SHA-256"); }
inline QString SlotName(int slot) { return QStringLiteral("Слот %1").arg(slot); }
inline QString NoSlotItem() { return QStringLiteral("—"); }
// A port of the list with the adapter the system names, as the port lists show it.
inline QString PortWithAdapter(int portNumber, const QString& adapter) {
    return adapter.isEmpty() ? PortItem(portNumber) : PortItem(portNumber) + QStringLiteral(" — ") + adapter;
}
inline QString StartButton() { return QStringLiteral("Пуск"); }
inline QString StartAllButton() { return QStringLiteral("Пуск всех"); }
inline QString CancelAllButton() { return QStringLiteral("Отменить все"); }
inline QString AutoStartLabel() { return QStringLiteral("Автозапуск"); }
inline QString AskSerialLabel() { return QStringLiteral("Запрашивать заводской номер"); }
inline QString SerialHint() { return QStringLiteral("Заводской номер"); }
inline QString SerialNeeded(int slot) { return QStringLiteral("Введите заводской номер прибора слота %1").arg(slot); }
inline QString SerialHasControlCharacters() {
    return QStringLiteral("Заводской номер не должен содержать управляющих символов");
}
inline QString SerialTooLong(int most) { return QStringLiteral("Заводской номер длиннее %1 символов").arg(most); }
inline QString SerialAlreadyWritten(const QString& serial) {
    return QStringLiteral("Прибор с заводским номером %1 уже записан этой программой (см. журнал заданий). "
                          "Записать ещё раз?")
        .arg(serial);
}
inline QString LockButton() { return QStringLiteral("Заблокировать участок"); }
inline QString UnlockButton() { return QStringLiteral("Разблокировать участок"); }
inline QString NewPasswordPrompt() { return QStringLiteral("Пароль участка:"); }
inline QString RepeatPasswordPrompt() { return QStringLiteral("Повторите пароль:"); }
inline QString UnlockPrompt() { return QStringLiteral("Пароль для разблокировки участка:"); }
inline QString PasswordsDiffer() { return QStringLiteral("Пароли не совпадают; участок не заблокирован"); }
inline QString PasswordNotKept() { return QStringLiteral("Не удалось сохранить пароль; участок не заблокирован"); }
inline QString WrongPassword() { return QStringLiteral("Неверный пароль"); }
inline QString UnlockWait(int seconds) {
    return QStringLiteral("Слишком много неверных попыток: повторите через %1 с").arg(seconds);
}
inline QString StationLocked() {
    return QStringLiteral("Участок программирования заблокирован: это изменение недоступно");
}
inline QString ImageChangedWhileLocked() {
    return QStringLiteral("Файл программы изменён после блокировки участка: его SHA-256 не тот, что закреплён");
}
inline QString ShiftReportButton() { return QStringLiteral("Отчёт смены"); }
inline QString ShiftReportTitle() { return QStringLiteral("Отчёт смены — участок программирования"); }
inline QString ShiftReportPeriod(const QString& since, const QString& until) {
    return QStringLiteral("С %1 по %2").arg(since, until);
}
inline QStringList ShiftReportColumns() {
    return {QStringLiteral("Время"),     QStringLiteral("Слот"),   QStringLiteral("Порт"),
            QStringLiteral("Заводской номер"), QStringLiteral("Результат"), QStringLiteral("Повторы"),
            QStringLiteral("Длительность")};
}
inline QString ReportCancelled() { return QStringLiteral("Отменено"); }
inline QString ShiftReportFilter() { return QStringLiteral("Документы PDF (*.pdf)"); }
inline QString ShiftReportSaved(const QString& path) { return QStringLiteral("Отчёт смены сохранён: %1").arg(path); }
inline QString ShiftReportNotSaved(const QString& path, const QString& reason) {
    return QStringLiteral("Не удалось сохранить отчёт смены %1: %2").arg(path, reason);
}
inline QString ResetCountersButton() { return QStringLiteral("Сбросить счётчики"); }
inline QString ResultGood() { return QStringLiteral("Годен"); }
inline QString ResultBad() { return QStringLiteral("Брак"); }
inline QString ResultWaiting() { return QStringLiteral("Ожидание"); }
inline QString ResultRemoveDevice() { return QStringLiteral("Снимите прибор"); }
inline QString SlotCounters(int good, int bad) {
    return QStringLiteral("годен %1 · брак %2 · всего %3").arg(good).arg(bad).arg(good + bad);
}
inline QString StationCounters(int good, int bad, const QString& since) {
    return QStringLiteral("Участок: годен %1 · брак %2 · всего %3 с %4").arg(good).arg(bad).arg(good + bad).arg(since);
}
inline QString PortInOtherSlot(int portNumber, int otherSlot) {
    return QStringLiteral("COM%1 уже назначен слоту %2").arg(portNumber).arg(otherSlot);
}
inline QString NoStationImage() { return QStringLiteral("Выберите файл программы участка"); }

// Help.
inline QString HelpNotFound(const QString& fileName) {
    return QStringLiteral("Не найден файл справки %1").arg(fileName);
}
inline QString HelpNotOpened(const QString& path) {
    return QStringLiteral("Не могу открыть файл справки %1").arg(path);
}

// The journal window: the start of a job in local time, and a folder that
// would not open.
inline QString JournalTimeFormat() { return QStringLiteral("dd.MM.yyyy HH:mm:ss"); }
inline QString JournalFolderNotOpened(const QString& path) {
    return QStringLiteral("Не могу открыть папку журнала %1").arg(path);
}

}  // namespace bramis::texts
