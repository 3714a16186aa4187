#include "report/words.h"

#include "image/utf8_path.h"

namespace bramis::words {

std::string ImageFileMessage(ImageFileStatus status) {
    switch (status) {
        case ImageFileStatus::Ok: return "";
        case ImageFileStatus::CannotOpen: return "Не могу открыть файл";
        case ImageFileStatus::WrongLength: return "Не верная длина файла";
        case ImageFileStatus::ReadFailed: return "Ошибка при чтении файла";
        case ImageFileStatus::CannotCreate: return "Не могу создать файл";
        case ImageFileStatus::WriteFailed: return "Ошибка при записи файла";
        case ImageFileStatus::NotAFile: return "Не могу заменить: это папка, устройство или канал, а не файл";
        case ImageFileStatus::ReadOnly: return "Файл защищён от записи";
        case ImageFileStatus::Stopped: return "Сохранение отменено";
    }
    return "";
}

}  // namespace bramis::words

// The causes and second lines of image files' messages.
namespace bramis::words {

std::string FileCauseText(FileCause cause, int systemError) {
    switch (cause) {
        case FileCause::None: return "";
        case FileCause::Missing: return "нет такого файла или папки";
        case FileCause::NoPermission: return "нет прав доступа";
        case FileCause::ReadOnlyFileSystem: return "диск доступен только для чтения";
        case FileCause::NoSpace: return "нет места на диске";
        case FileCause::TooLarge: return "файл больше, чем система разрешает программе";
        case FileCause::NameTooLong: return "слишком длинное имя";
        case FileCause::BadName: return "недопустимое имя";
        case FileCause::LinkLoop: return "символические ссылки замкнуты в круг";
        case FileCause::NotAFolder: return "часть пути — файл, а не папка";
        case FileCause::Folder: return "это папка, а не файл";
        case FileCause::Pipe: return "это канал, а не файл";
        case FileCause::Device: return "это устройство, а не файл";
        case FileCause::Busy: return "занят другой программой";
        case FileCause::InputOutput: return "ошибка ввода-вывода диска";
        case FileCause::Other: break;
    }
    return "системная ошибка " + std::to_string(systemError);
}

std::string ImageFileCauseLine(const FileOutcome& outcome) {
    if (outcome.status == ImageFileStatus::WrongLength) {
        return "размер файла " + std::to_string(outcome.size) + " байт, нужно " + std::to_string(outcome.sizeWanted);
    }
    if (outcome.cause == FileCause::None) {
        return "";
    }
    return (outcome.whereIsFolder ? "папка " : "файл ") + PrintablePath(outcome.where) + ": " +
           FileCauseText(outcome.cause, outcome.systemError);
}

std::string UnsavedReadLine(const FileOutcome& outcome) {
    if (!outcome.copy.empty()) {
        return "прочитанная программа сохранена в " + PrintablePath(outcome.copy);
    }
    const std::string why = FileCauseText(outcome.cause, outcome.systemError);
    return "прочитанная программа не сохранена" + (why.empty() ? std::string() : " (" + why + ")") +
           " ни в папке файла, ни во временной, ни в домашней папке: освободите место или укажите другой файл "
           "и прочитайте прибор снова";
}

}  // namespace bramis::words
