// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QList>
#include <QStringList>
#include <QVariant>

class DeviceModel;

// What veltra-find prints of a device: one row of a DeviceModel as values under fixed keys.
namespace RowRecord {

// Keys in output order, as JSON keys and CSV header; "interface" leads when asked for.
QStringList keys(bool withInterface);

// The values of `row` in the order of keys(false): QString, int, bool, or an invalid QVariant for
// "no value". Texts are the table's ("N/A" after a failed reply, empty where no reply came); the
// addresses the table does not show come from the kept configuration reply.
QVariantList values(const DeviceModel &model, int row);

// The rows of `model` in the order of their MAC texts, letter case ignored, so that output does not
// depend on the order in which replies arrived.
QList<int> rowsByMac(const DeviceModel &model);

} // namespace RowRecord
