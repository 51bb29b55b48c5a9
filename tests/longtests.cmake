# Read by ctest after the discovered tests: the tests that run for tens of
# seconds get a COST, so that ctest -j starts them first and the short
# tests fill the cores around them instead of one long test running alone
# at the end. A name that is not a test of this build is ignored; the
# parameterised ones stand also under the names ctest gave them before
# the test names became readable.
cmake_policy(VERSION 3.25)
# The longest, some 35 and 15 s of CPU.
set_tests_properties(
  api.ValidationSuite.VerdictsAgreeWithTheSuiteForSchemasThatCompile
  api.Corpora/ValidatedCorpus.EveryDocumentGetsXmllintsVerdict/ubl
  "api.Corpora/ValidatedCorpus.EveryDocumentGetsXmllintsVerdict/ubl  # GetParam() = ubl"
  PROPERTIES COST 300)
set_tests_properties(
  api.Corpora/ValidatedCorpus.EveryDocumentGetsXmllintsVerdict/fpml
  "api.Corpora/ValidatedCorpus.EveryDocumentGetsXmllintsVerdict/fpml  # GetParam() = fpml"
  api.Corpora/TypedCorpus.XmlToJsonAndBackGivesTheSameJsonAndValidXml/ubl
  "api.Corpora/TypedCorpus.XmlToJsonAndBackGivesTheSameJsonAndValidXml/ubl  # GetParam() = ubl"
  api.Corpora/TypedCorpus.XmlToJsonAndBackGivesTheSameJsonAndValidXml/fpml
  "api.Corpora/TypedCorpus.XmlToJsonAndBackGivesTheSameJsonAndValidXml/fpml  # GetParam() = fpml"
  e2e.Corpora/CorpusDocuments.ParseMatchedRoundTripAndStaySchemaValid/ubl
  "e2e.Corpora/CorpusDocuments.ParseMatchedRoundTripAndStaySchemaValid/ubl  # GetParam() = ubl"
  e2e.Shards/XsdSuiteShard.ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid/1of4
  "e2e.Shards/XsdSuiteShard.ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid/1of4  # GetParam() = 0"
  e2e.Shards/XsdSuiteShard.ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid/2of4
  "e2e.Shards/XsdSuiteShard.ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid/2of4  # GetParam() = 1"
  e2e.Shards/XsdSuiteShard.ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid/3of4
  "e2e.Shards/XsdSuiteShard.ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid/3of4  # GetParam() = 2"
  e2e.Shards/XsdSuiteShard.ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid/4of4
  "e2e.Shards/XsdSuiteShard.ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid/4of4  # GetParam() = 3"
  e2e.XsdSuiteKnownCases.NameCasesOfTheSuite
  e2e.install.RelocatedPrefix
  e2e.valgrind.DictionaryParseLeaksNothing
  e2e.valgrind.MalformedParseLeaksNothing
  e2e.ConvertCli.TwoThreadsWriteTheSameFilesAsOne
  e2e.ConformanceSuite.NotWellFormedDocumentsEndInTheScannerException
  e2e.ConformanceSuite.ValidXml10DocumentsRoundTripSelfDefining
  PROPERTIES COST 100)
