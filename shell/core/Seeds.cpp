#include "Schema.h"

// Seed texts of the letter templates. Lines are joined with CR LF when written, with
// no break after the last line, so texts typed on any system compare equal.

namespace sz::schema {

const QVector<TemplateSeed>& templateSeeds()
{
    static const QVector<TemplateSeed> seeds = {
    {QStringLiteral("PREAVVISO"),
      QStringLiteral("AVVISO DI SCADENZA"),
      {
          QStringLiteral("Gentile Cliente,"),
          QStringLiteral("al fine di snellire le procedure di incasso delle fatture, si invia la presente quale promemoria delle partite di prossima scadenza, al fine da poter gestire in tempi rapidi eventuali errori ed anomalie."),
      },
      {
          QStringLiteral("Certi della migliore attenzione che vorrete riservare alla presente, porgiamo cordiali saluti."),
      }},
    {QStringLiteral("SOLLECITO1"),
      QStringLiteral("1° SOLLECITO DI PAGAMENTO"),
      {
          QStringLiteral("Gentile Cliente,"),
          QStringLiteral("da un controllo della ns. contabilità risulta che, alla data odierna, non sono state ancora da Voi saldate le fatture SCADUTE di seguito riportate:"),
      },
      {
          QStringLiteral("Vi preghiamo di regolarizzare entro 5 giorni dalla presente la vostra posizione contabile. Nel caso abbiate già provveduto al pagamento di quanto dovuto, vi preghiamo di inviarci copia della contabile di pagamento e di ritenere nulla la nostra richiesta."),
          QStringLiteral("Certi della migliore attenzione che vorrete riservare alla presente, porgiamo cordiali saluti."),
      }},
    {QStringLiteral("SOLLECITO2"),
      QStringLiteral("2° SOLLECITO DI PAGAMENTO"),
      {
          QStringLiteral("Gentile Cliente,"),
          QStringLiteral("a seguito di verifiche contabili riguardanti gli incassi delle fatture si da seguito al ns 1° SOLLECITO, in quanto alla data odierna, risultano ancora non saldate le fatture SCADUTE di seguito riportate:"),
      },
      {
          QStringLiteral("Vi preghiamo di regolarizzare entro 3 giorni dalla presente la vostra posizione contabile. Nel caso abbiate già provveduto al pagamento di quanto dovuto, vi preghiamo di inviarci copia della contabile di pagamento per poter effettuare le opportune verifiche."),
          QStringLiteral("Restiamo a Vs disposizione per qualsiasi chiarimento."),
          QStringLiteral("Distinti saluti."),
      }},
    {QStringLiteral("SOLLECITO3"),
      QStringLiteral("3° SOLLECITO DI PAGAMENTO"),
      {
          QStringLiteral("Gentile Cliente,"),
          QStringLiteral("malgrado le nostre precedenti comunicazioni, a oggi, risultano ancora da saldare le fatture di seguito riportate:"),
      },
      {
          QStringLiteral("Vi preghiamo di procedere alla liquidazione di quanto dovuto entro e non oltre 3 giorni dalla ricezione della presente. In mancanza, saremo costretti a procedere come riterremo più opportuno, con aggravio di spese per interessi e onorari a Vs. carico come previsto dalle vigenti normative."),
          QStringLiteral("Distinti saluti."),
      }},
    {QStringLiteral("GENERICA"),
      QStringLiteral("SITUAZIONE CONTABILE"),
      {
          QStringLiteral("Gentile Cliente,"),
          QStringLiteral("al fine di snellire le procedure di incasso delle fatture, si invia la presente quale promemoria delle partite di prossima scadenza e SOLLECITO per quelle SCADUTE, al fine di poter gestire in tempi rapidi eventuali errori ed anomalie."),
      },
      {
          QStringLiteral("Vi preghiamo di procedere al pagamento alle date previste per le partite in scadenza."),
          QStringLiteral("Per le fatture scadute in SOLLECITO Vi chiediamo di regolarizzare entro 5 giorni dalla presente la vostra posizione contabile. Nel caso abbiate già provveduto al pagamento di quanto dovuto, vi preghiamo di inviarci copia della contabile di pagamento per poter effettuare le opportune verifiche."),
          QStringLiteral("In mancanza, saremo costretti a procedere come riterremo più opportuno, con aggravio di spese per interessi e onorari a Vs. carico come previsto dalle vigenti normative."),
          QStringLiteral("Per i crediti IN SOFFERENZA vi comunichiamo che stiamo avviando la procedura di MESSA IN MORA."),
          QStringLiteral("Restiamo a Vs disposizione per qualsiasi chiarimento, certi della migliore attenzione che vorrete riservare alla presente."),
          QStringLiteral("Distinti saluti."),
      }},
    {QStringLiteral("IN SOFFERENZA"),
      QStringLiteral("CREDITO IN SOFFERENZA"),
      {
          QStringLiteral("Gentile Cliente,"),
          QStringLiteral("malgrado le nostre precedenti comunicazioni, a oggi, la fattura sottoindicata non risulta saldata:"),
      },
      {
          QStringLiteral("Vi preghiamo di procedere, entro massimo 3 giorni, al pagamento della fattura. Nel caso abbiate già provveduto al saldo di quanto dovuto, vi preghiamo di inviarci copia della contabile di pagamento per poter effettuare le opportune verifiche."),
          QStringLiteral("Essendo già state inviate svariate comunicazioni, in caso di ulteriore mancato pagamento, avvieremo immediatamente la procedura di MESSA IN MORA, con aggravio di spese per interessi e onorari a Vs. carico come previsto dalle vigenti normative."),
          QStringLiteral("Restiamo a Vs. disposizione per qualsiasi chiarimento, certi della migliore attenzione che vorrete riservare alla presente."),
          QStringLiteral("Distinti saluti."),
      }},
    };
    return seeds;
}

const QVector<ParameterSeed>& parameterSeeds()
{
    static const QVector<ParameterSeed> seeds = {
        {QStringLiteral("BONIFICO"), -5, 5, 15, 30},
        {QStringLiteral("RI.BA."), -5, 5, 15, 30},
        {QStringLiteral("R.D."), 1, 5, 15, 30},
    };
    return seeds;
}

// The ECB reference rate of each half-year (the statutory points are added by the
// program) and the legal rate of each year, as the official journal published them. A
// half-year not yet published is left out: the program asks for it, never guesses it.
const QVector<RateSeed>& rateSeeds()
{
    static const QVector<RateSeed> seeds = {
        {QStringLiteral("MORA"), QDate(2013, 1, 1), QDate(2013, 6, 30), 7500, QStringLiteral("GU n. 14 del 17/01/2013")},
        {QStringLiteral("MORA"), QDate(2013, 7, 1), QDate(2013, 12, 31), 5000, QStringLiteral("comunicato MEF, 2° semestre 2013")},
        {QStringLiteral("MORA"), QDate(2014, 1, 1), QDate(2014, 6, 30), 2500, QStringLiteral("GU n. 51 del 03/03/2014")},
        {QStringLiteral("MORA"), QDate(2014, 7, 1), QDate(2014, 12, 31), 1500, QStringLiteral("GU n. 167 del 21/07/2014")},
        {QStringLiteral("MORA"), QDate(2015, 1, 1), QDate(2015, 6, 30), 500, QStringLiteral("GU n. 12 del 16/01/2015")},
        {QStringLiteral("MORA"), QDate(2015, 7, 1), QDate(2015, 12, 31), 500, QStringLiteral("GU n. 168 del 22/07/2015")},
        {QStringLiteral("MORA"), QDate(2016, 1, 1), QDate(2016, 6, 30), 500, QStringLiteral("GU n. 19 del 25/01/2016")},
        {QStringLiteral("MORA"), QDate(2016, 7, 1), QDate(2016, 12, 31), 0, QStringLiteral("GU n. 178 del 01/08/2016")},
        {QStringLiteral("MORA"), QDate(2017, 1, 1), QDate(2017, 6, 30), 0, QStringLiteral("comunicato MEF, 1° semestre 2017")},
        {QStringLiteral("MORA"), QDate(2017, 7, 1), QDate(2017, 12, 31), 0, QStringLiteral("comunicato MEF, 2° semestre 2017")},
        {QStringLiteral("MORA"), QDate(2018, 1, 1), QDate(2018, 6, 30), 0, QStringLiteral("comunicato MEF, 1° semestre 2018")},
        {QStringLiteral("MORA"), QDate(2018, 7, 1), QDate(2018, 12, 31), 0, QStringLiteral("comunicato MEF, 2° semestre 2018")},
        {QStringLiteral("MORA"), QDate(2019, 1, 1), QDate(2019, 6, 30), 0, QStringLiteral("comunicato MEF, 1° semestre 2019")},
        {QStringLiteral("MORA"), QDate(2019, 7, 1), QDate(2019, 12, 31), 0, QStringLiteral("comunicato MEF, 2° semestre 2019")},
        {QStringLiteral("MORA"), QDate(2020, 1, 1), QDate(2020, 6, 30), 0, QStringLiteral("comunicato MEF, 1° semestre 2020")},
        {QStringLiteral("MORA"), QDate(2020, 7, 1), QDate(2020, 12, 31), 0, QStringLiteral("comunicato MEF, 2° semestre 2020")},
        {QStringLiteral("MORA"), QDate(2021, 1, 1), QDate(2021, 6, 30), 0, QStringLiteral("comunicato MEF, 1° semestre 2021")},
        {QStringLiteral("MORA"), QDate(2021, 7, 1), QDate(2021, 12, 31), 0, QStringLiteral("comunicato MEF, 2° semestre 2021")},
        {QStringLiteral("MORA"), QDate(2022, 1, 1), QDate(2022, 6, 30), 0, QStringLiteral("comunicato MEF, 1° semestre 2022")},
        {QStringLiteral("MORA"), QDate(2022, 7, 1), QDate(2022, 12, 31), 0, QStringLiteral("GU n. 197 del 24/08/2022")},
        {QStringLiteral("MORA"), QDate(2023, 1, 1), QDate(2023, 6, 30), 25000, QStringLiteral("GU n. 14 del 18/01/2023")},
        {QStringLiteral("MORA"), QDate(2023, 7, 1), QDate(2023, 12, 31), 40000, QStringLiteral("GU n. 165 del 17/07/2023")},
        {QStringLiteral("MORA"), QDate(2024, 1, 1), QDate(2024, 6, 30), 45000, QStringLiteral("GU n. 12 del 16/01/2024")},
        {QStringLiteral("MORA"), QDate(2024, 7, 1), QDate(2024, 12, 31), 42500, QStringLiteral("GU n. 176 del 29/07/2024")},
        {QStringLiteral("MORA"), QDate(2025, 1, 1), QDate(2025, 6, 30), 31500, QStringLiteral("GU n. 63 del 17/03/2025")},
        {QStringLiteral("MORA"), QDate(2025, 7, 1), QDate(2025, 12, 31), 21500, QStringLiteral("GU n. 161 del 14/07/2025")},
        {QStringLiteral("MORA"), QDate(2026, 1, 1), QDate(2026, 6, 30), 21500, QStringLiteral("GU n. 15 del 20/01/2026")},
        {QStringLiteral("LEGALE"), QDate(2013, 1, 1), QDate(2013, 12, 31), 25000, QStringLiteral("DM 12/12/2011")},
        {QStringLiteral("LEGALE"), QDate(2014, 1, 1), QDate(2014, 12, 31), 10000, QStringLiteral("DM 12/12/2013")},
        {QStringLiteral("LEGALE"), QDate(2015, 1, 1), QDate(2015, 12, 31), 5000, QStringLiteral("DM 11/12/2014")},
        {QStringLiteral("LEGALE"), QDate(2016, 1, 1), QDate(2016, 12, 31), 2000, QStringLiteral("DM 11/12/2015")},
        {QStringLiteral("LEGALE"), QDate(2017, 1, 1), QDate(2017, 12, 31), 1000, QStringLiteral("DM 07/12/2016")},
        {QStringLiteral("LEGALE"), QDate(2018, 1, 1), QDate(2018, 12, 31), 3000, QStringLiteral("DM 13/12/2017")},
        {QStringLiteral("LEGALE"), QDate(2019, 1, 1), QDate(2019, 12, 31), 8000, QStringLiteral("DM 12/12/2018")},
        {QStringLiteral("LEGALE"), QDate(2020, 1, 1), QDate(2020, 12, 31), 500, QStringLiteral("DM 12/12/2019")},
        {QStringLiteral("LEGALE"), QDate(2021, 1, 1), QDate(2021, 12, 31), 100, QStringLiteral("DM 11/12/2020")},
        {QStringLiteral("LEGALE"), QDate(2022, 1, 1), QDate(2022, 12, 31), 12500, QStringLiteral("DM 13/12/2021")},
        {QStringLiteral("LEGALE"), QDate(2023, 1, 1), QDate(2023, 12, 31), 50000, QStringLiteral("DM 13/12/2022")},
        {QStringLiteral("LEGALE"), QDate(2024, 1, 1), QDate(2024, 12, 31), 25000, QStringLiteral("DM 29/11/2023")},
        {QStringLiteral("LEGALE"), QDate(2025, 1, 1), QDate(2025, 12, 31), 20000, QStringLiteral("DM 10/12/2024")},
        {QStringLiteral("LEGALE"), QDate(2026, 1, 1), QDate(2026, 12, 31), 16000, QStringLiteral("DM 10/12/2025 (GU n. 289 del 13/12/2025)")},
    };
    return seeds;
}

} // namespace sz::schema
