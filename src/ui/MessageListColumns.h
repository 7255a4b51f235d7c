#pragma once

class ItemModelSms;
class QTreeView;

// The message list's Date and Contact columns fit their texts. The Date column takes the
// direction icon and the widest date the locale writes; the Contact column the longest
// contact of the messages listed, up to a third of the list's width, so that the
// messages' text keeps its room. Neither is ever narrower than the width it was drawn with.
void fitDateColumn(QTreeView& list);
void fitContactColumn(QTreeView& list, const ItemModelSms& model);
