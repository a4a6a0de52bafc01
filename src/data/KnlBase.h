// KnlBase: module-level operations of the base data module on any dataset: opening with a condition,
// packet fetching at the end of the fetched records, cascading delete over nested details, the
// empty-required-field check, the per-user grid-view file (".ugs") and the word search FindToken.
#pragma once

#include "platform/ClientDataSet.h"

#include <QString>

namespace kvx {

class TDataSource;

// Closes the dataset, sends [condition, order] to its provider and reopens it. "All" (any case) is no
// condition. A failure is written to the alert log under "knlBase-103" and reported by the result
// (false, with the reason in `error`) so that a failed query never looks like one that found nothing.
bool OpenWithCondition(TClientDataSet* dataSet, const QString& condition, const QString& order,
                       QString* error = nullptr);

// At the end of the fetched records, in browse state, fetches the next packet with the data source's
// change handler taken off and the controls disabled.
void FetchNextPacketAtEnd(TClientDataSet* dataSet, TDataSource* dataSource);
// At the end of the fetched records fetches the next packet, otherwise moves to the last record.
void NextPacketOrLast(TClientDataSet* dataSet);

// Deletes the current record with every record of its nested details; a nested detail called with
// `nested` loses all its records. `detachEvents` takes the delete and scroll handlers off meanwhile.
bool DeleteRecordCascade(TClientDataSet* dataSet, bool nested, bool detachEvents);

// Spec "dataset:field,field;dataset:field": the first listed editable, visible data field of this dataset
// whose trimmed text is empty.
bool FindEmptyRequiredField(TClientDataSet* dataSet, const QString& specification, TField*& field);

// 1-based position of `word` in `text` where it stands between CR, LF, space, comma, colon or semicolon
// (or the text's ends); 0 when it does not.
int FindToken(const QString& word, const QString& text);

// Grid views: one INI file per user and program, a section per dataset, a key per field
// ("index;width[;format]").
QString GridViewBaseFolder(); // GridViewDataPath of the client configuration, ending with "/"
QString GridViewFolder(const QString& subFolder);
void LoadGridView(const QString& subFolder, const QString& baseName, TClientDataSet* dataSet,
                  int bodyIndex = -1);
void SaveGridView(const QString& subFolder, const QString& baseName, TClientDataSet* dataSet,
                  int bodyIndex = -1);

// Rows of a query answer: an array of row arrays or a two-dimensional array.
QList<VariantList> AnswerRows(const Variant& v);

} // namespace kvx
