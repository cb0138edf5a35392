alter table CLIENTE
  add NOTAVIA_CNAE varchar(20),
  add NOTAVIA_REG_ESP varchar(20),
  add NOTAVIA_OPTANTE_SIMPLES char(1),
  add NOTAVIA_PARAMETROS varchar(250);
update VERSAO set NUMERO = '1.03' where ID = 13;
commit work;
