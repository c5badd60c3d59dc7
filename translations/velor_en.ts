<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<context>
    <name>ClientMissingDialog</name>
    <message>
        <source>RAGE Multiplayer не найден</source>
        <translation>RAGE Multiplayer not found</translation>
    </message>
    <message>
        <source>Установите RAGE Multiplayer или укажите путь к уже установленной версии.</source>
        <translation>Install RAGE Multiplayer or point to the folder where it is already installed.</translation>
    </message>
    <message>
        <source>Скачать RageMP</source>
        <translation>Download RageMP</translation>
    </message>
    <message>
        <source>Указать путь...</source>
        <translation>Choose folder...</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Выберите папку RAGE Multiplayer</source>
        <translation>Choose the RAGE Multiplayer folder</translation>
    </message>
</context>
<context>
    <name>CrashNoticeDialog</name>
    <message>
        <source>Лаунчер был неожиданно закрыт</source>
        <translation>The launcher closed unexpectedly</translation>
    </message>
    <message>
        <source>В прошлый раз лаунчер закрылся из-за ошибки. Отчёт о ней сохранён: если это повторится, отправьте его в поддержку вместе с логом.</source>
        <translation>Last time the launcher closed because of an error. A report has been saved: if it happens again, send it to support along with the log.</translation>
    </message>
    <message>
        <source>Открыть папку</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>LauncherApp</name>
    <message>
        <source>Лаунчер уже запущен!</source>
        <translation>The launcher is already running!</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Обновление лаунчера</source>
        <translation>Updating the launcher</translation>
    </message>
    <message>
        <source>Скачивание обновления...</source>
        <translation>Downloading the update...</translation>
    </message>
    <message>
        <source>Установка обновления...</source>
        <translation>Installing the update...</translation>
    </message>
    <message>
        <source>Ошибка обновления</source>
        <translation>Update error</translation>
    </message>
    <message>
        <source>Не удалось скачать обновление:
%1</source>
        <translation>Could not download the update:
%1</translation>
    </message>
    <message>
        <source>Не удалось установить версию %1.
Установщик лаунчера можно скачать на сайте %2</source>
        <translation>Could not install version %1.
You can download the launcher installer from %2</translation>
    </message>
    <message>
        <source>Свернуть</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Играть</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Магазин</source>
        <translation>Store</translation>
    </message>
    <message>
        <source>Форум</source>
        <translation>Forum</translation>
    </message>
    <message>
        <source>Поддержка</source>
        <translation>Support</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Начни свою историю</source>
        <translation>Begin your story</translation>
    </message>
    <message>
        <source>в мире</source>
        <translation>in the world of</translation>
    </message>
    <message>
        <source>Последние новости</source>
        <translation>Latest news</translation>
    </message>
    <message>
        <source>Предыдущие новости</source>
        <translation>Previous news</translation>
    </message>
    <message>
        <source>Следующие новости</source>
        <translation>Next news</translation>
    </message>
    <message>
        <source>Игроков онлайн</source>
        <translation>Players online</translation>
    </message>
    <message>
        <source>Начать играть</source>
        <translation>Start playing</translation>
    </message>
</context>
<context>
    <name>SettingsDialog</name>
    <message>
        <source>Проверка обновлений...</source>
        <translation>Checking for updates...</translation>
    </message>
    <message>
        <source>Установлена последняя версия лаунчера: %1.</source>
        <translation>You have the latest version of the launcher: %1.</translation>
    </message>
    <message>
        <source>Найдена версия %1, обновление...</source>
        <translation>Version %1 found, updating...</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Папка RAGE Multiplayer</source>
        <translation>RAGE Multiplayer folder</translation>
    </message>
    <message>
        <source>Изменить…</source>
        <translation>Change…</translation>
    </message>
    <message>
        <source>Версия лаунчера: %1</source>
        <translation>Launcher version: %1</translation>
    </message>
    <message>
        <source>Проверить обновления</source>
        <translation>Check for updates</translation>
    </message>
    <message>
        <source>Открыть папку логов</source>
        <translation>Open log folder</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Не найдена: укажите папку с RAGE Multiplayer.</source>
        <translation>Not found: choose the RAGE Multiplayer folder.</translation>
    </message>
    <message>
        <source>Язык</source>
        <translation>Language</translation>
    </message>
</context>
<context>
    <name>StyledProgressDialog</name>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>WidgetPrompts</name>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Скачивание RAGE Multiplayer</source>
        <translation>Downloading RAGE Multiplayer</translation>
    </message>
    <message>
        <source>Подготовка...</source>
        <translation>Preparing...</translation>
    </message>
    <message>
        <source>Не удалось сохранить установщик.</source>
        <translation>Could not save the installer.</translation>
    </message>
    <message>
        <source>Ошибка загрузки</source>
        <translation>Download error</translation>
    </message>
    <message>
        <source>Не удалось скачать RAGE Multiplayer:
%1</source>
        <translation>Could not download RAGE Multiplayer:
%1</translation>
    </message>
    <message>
        <source>Не удалось запустить RageMP!
Проверьте путь в настройках.</source>
        <translation>Could not start RageMP!
Check the folder in the settings.</translation>
    </message>
    <message>
        <source>Установка</source>
        <translation>Installation</translation>
    </message>
    <message>
        <source>Сейчас запустится установщик RAGE Multiplayer.
После установки нажмите кнопку «Начать играть» снова.</source>
        <translation>The RAGE Multiplayer installer will start now.
Once it is done, press “Start playing” again.</translation>
    </message>
    <message>
        <source>Не удалось запустить установщик RAGE Multiplayer:
%1</source>
        <translation>Could not start the RAGE Multiplayer installer:
%1</translation>
    </message>
</context>
<context>
    <name>Wording</name>
    <message>
        <source>ru_RU</source>
        <comment>the locale numbers are written in</comment>
        <translation>en_US</translation>
    </message>
    <message>
        <source>Загрузка прервана: сервер не присылал данных %1 с.</source>
        <translation>Download stopped: the server sent no data for %1 s.</translation>
    </message>
    <message>
        <source>Соединение оборвалось до конца файла.</source>
        <translation>The connection dropped before the end of the file.</translation>
    </message>
    <message>
        <source>Соединение оборвалось до конца ответа.</source>
        <translation>The connection dropped before the end of the response.</translation>
    </message>
    <message>
        <source>Неверный формат ответа сервера</source>
        <translation>The server&apos;s response has an invalid format</translation>
    </message>
    <message>
        <source>Неверные данные обновления</source>
        <translation>Invalid update data</translation>
    </message>
    <message>
        <source>Не удалось сохранить файл обновления</source>
        <translation>Could not save the update file</translation>
    </message>
    <message>
        <source>Контрольная сумма обновления не совпадает</source>
        <translation>The update&apos;s checksum does not match</translation>
    </message>
    <message>
        <source>Ошибка распаковки обновления</source>
        <translation>Could not unpack the update</translation>
    </message>
    <message>
        <source>Инсталлер не найден в архиве</source>
        <translation>No installer found in the archive</translation>
    </message>
    <message>
        <source>Не удалось сохранить сведения об обновлении</source>
        <translation>Could not save the update&apos;s details</translation>
    </message>
    <message>
        <source>Не удалось запустить установщик обновления</source>
        <translation>Could not start the update installer</translation>
    </message>
    <message>
        <source>Не удалось связаться с сервером обновлений. Проверьте подключение к интернету.</source>
        <translation>Could not reach the update server. Check your internet connection.</translation>
    </message>
    <message>
        <source>Сервер обновлений ответил непонятно. Попробуйте позже.</source>
        <translation>The update server gave an unexpected answer. Try again later.</translation>
    </message>
    <message>
        <source>Скачивание... %1 МБ / %2 МБ</source>
        <translation>Downloading... %1 MB / %2 MB</translation>
    </message>
    <message>
        <source>%1 КБ/с</source>
        <translation>%1 KB/s</translation>
    </message>
    <message>
        <source>%1 МБ/с</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <source>%1 · %2 · ещё %3</source>
        <comment>progress, speed, time left</comment>
        <translation>%1 · %2 · %3 left</translation>
    </message>
</context>
</TS>
