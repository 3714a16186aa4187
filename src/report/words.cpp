#include "report/words.h"

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
