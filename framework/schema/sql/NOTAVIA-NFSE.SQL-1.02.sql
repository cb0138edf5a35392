alter table NFSE_RPS
  add PRE_EnderecoPrestador varchar(100),
  add PRE_NumeroPrestador varchar(20),
  add PRE_ComplementoPrestador varchar(100),
  add PRE_BairroPrestador varchar(100),
  add PRE_UfPrestador varchar(2),
  add PRE_CepPrestador varchar(20);
update VERSAO set NUMERO = '1.02' where ID = 13;
commit work;
