#pragma once

// The main program's two device lists and their CSV files: the cloud list
// ("data/DeviceList.csv", panels of cloud accounts) and the local list
// ("data/LocalDeviceList.csv", panels saved on the LAN), with the CSV reader,
// the writers, the file-kind checks and the lookups.

#include <QList>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

// One device of the lists, copied by value.
struct stDeviceData {
    int rowNo = 0;    // row number in the main window's table
    int state = 0;    // 1 online, 2 occupied, 3 connected, else offline
    QString deviceNo; // key of the cloud list
    QString userName; // cloud account of the device
    QString password; // password of that account
    QString deviceName;
    QString iccid;     // ICCID of the device's SIM card
    QString lanIp;     // LAN address
    QString ipAddress; // address of a saved local panel
    QString netText;   // network text
};
Q_DECLARE_METATYPE(stDeviceData)

class DeviceDatas : public QObject {
    Q_OBJECT
public:
    static DeviceDatas* instance();

    // Loads the two data files (paths relative to the working folder).
    explicit DeviceDatas(QObject* parent = nullptr);
    // An empty store, for tests and tools.
    struct Empty {};
    DeviceDatas(Empty, QObject* parent = nullptr);

    // The CSV reader: rows of trimmed items. Files above maxBytes (kMaxCsvBytes
    // but in tests) are refused, also those whose size is not known before
    // reading. On failure the error text is written as a debug message and to
    // *error, and rows is unchanged.
    static bool readCsv(const QString& path, QVector<QStringList>& rows, QString* error = nullptr,
                        qint64 maxBytes = kMaxCsvBytes);
    static bool parseCsv(const QString& text, QVector<QStringList>& rows, QString* error = nullptr);
    static constexpr qint64 kMaxCsvBytes = 104857600;

    // Header lines of the local list and of the cloud-list export.
    static QString localHeader();
    static QString exportHeader();

    static bool isLocalDeviceCsv(const QString& path, qint64 maxBytes = kMaxCsvBytes);
    static bool isDeviceCsv(const QString& path, qint64 maxBytes = kMaxCsvBytes);

    // Replaces the cloud list from a cloud-list file; a cloud-list export
    // (first row equal to the export header) is read with its own layout.
    void loadDevices(const QString& path);
    // Replaces the local list; false when a duplicate row was skipped or the
    // file could not be read (then the list stays as it was).
    bool loadLocalDevices(const QString& path);
    // Parses a cloud-list export into records; false when a duplicate device
    // number was skipped or the file could not be read.
    static bool readDeviceCsv(const QString& path, QList<stDeviceData>& out);

    // Merges records by device number into the cloud list and saves it.
    bool addDevice(const QList<stDeviceData>& records);
    bool writeDeviceCsv(const QString& path) const;
    bool saveDevices() const;
    bool writeLocalDeviceCsv(const QString& path) const;
    bool saveLocalDevices() const;

    // The writers of the three formats, shared with the pages that export.
    static bool writeCloudListCsv(const QString& path, const QList<stDeviceData>& records);
    static bool writeLocalListCsv(const QString& path, const QVector<stDeviceData>& records);
    static bool writeExportCsv(const QString& path, const QList<stDeviceData>& records);

    int count() const { return m_devices.size(); }
    QList<stDeviceData> devices() const { return m_devices; }
    QVector<stDeviceData> localDevices() const { return m_localDevices; }

    static int indexOf(const QList<stDeviceData>& list, const QString& deviceNo);
    static int indexOf(const QList<stDeviceData*>& list, const QString& deviceNo);
    int indexOfDevice(const QString& deviceNo) const;
    bool hasDevice(const QString& deviceNo) const;
    bool getDevice(const QString& deviceNo, stDeviceData& out) const;
    bool hasLocalIp(const QString& ip) const;
    bool hasLocalDeviceNo(const QString& deviceNo) const;

    // Records of one cloud account: user name and password compared each on
    // its own.
    QList<stDeviceData> findByAccount(const QString& userName, const QString& password) const;
    static QList<stDeviceData> findByAccountIn(const QList<stDeviceData>& list, const QString& userName,
                                               const QString& password);
    // Records whose device number, name or ICCID contains text (case-sensitive).
    static QList<stDeviceData> search(const QList<stDeviceData>& list, const QString& text);
    static QList<stDeviceData*> search(const QList<stDeviceData*>& list, const QString& text);

    void setSearchText(const QString& text);
    QString searchText() const { return m_searchText; }

signals:
    void searchTextChanged();

private:
    static QList<stDeviceData> exportRecords(const QVector<QStringList>& rows, bool* noDuplicates);

    QMap<QString, int> m_index;
    QList<stDeviceData> m_devices;
    QMap<QString, int> m_localNoIndex;
    QMap<QString, int> m_localIpIndex;
    QVector<stDeviceData> m_localDevices;
    QString m_searchText;
};
