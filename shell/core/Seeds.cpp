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

} // namespace sz::schema
