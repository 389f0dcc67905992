#pragma once

#include <QString>

#include <iterator>

// The dunning stages in their order, each with every name the program gives it: the
// keyword (also the template's Tipologia and the letter log's Fase), the label the lists
// show, the stage-date column a letter of it fills, and the plural a count uses.
namespace sz::fasi {

struct Fase
{
    const char* parola;    // "SOLLECITO1"
    const char* etichetta; // "1° SOLLECITO"
    const char* colonna;   // "Sollecito1"; empty for a bad debt, which fills none
    const char* plurale;   // "1° Solleciti"
};

inline constexpr Fase tutte[] = {{"PREAVVISO", "PREAVVISO", "Preavviso", "Preavvisi"},
                                 {"SOLLECITO1", "1° SOLLECITO", "Sollecito1", "1° Solleciti"},
                                 {"SOLLECITO2", "2° SOLLECITO", "Sollecito2", "2° Solleciti"},
                                 {"SOLLECITO3", "3° SOLLECITO", "Sollecito3", "3° Solleciti"},
                                 {"IN SOFFERENZA", "IN SOFFERENZA", "", "In sofferenza"}};
inline constexpr int numero = int(std::size(tutte));

inline QString parola(int i) { return QString::fromUtf8(tutte[i].parola); }
inline QString etichetta(int i) { return QString::fromUtf8(tutte[i].etichetta); }
inline QString colonna(int i) { return QString::fromUtf8(tutte[i].colonna); }
inline QString plurale(int i) { return QString::fromUtf8(tutte[i].plurale); }

// The stage a keyword or a label names, -1 for none.
inline int indice(const QString& testo)
{
    for (int i = 0; i < numero; ++i)
        if (testo == parola(i) || testo == etichetta(i))
            return i;
    return -1;
}

} // namespace sz::fasi
