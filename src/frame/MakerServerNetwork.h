#pragma once

class QNetworkAccessManager;

// The one network manager through which the program talks to the maker's server. It
// lives for the whole process and is never destroyed: a request may still be under way
// when the program ends, and destroying the manager then leaves its connection objects
// behind. GUI thread.
QNetworkAccessManager& makerServerNetwork();
